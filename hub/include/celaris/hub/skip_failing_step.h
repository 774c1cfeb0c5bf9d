// The status loop's convention: a failing step is skipped and the next one
// runs. Shared by the loop and the main window's model, which runs the same
// kind of update.
#pragma once

namespace celaris::hub {

template <typename Fn>
void SkipFailingStep(Fn&& fn) {
    try {
        fn();
    } catch (...) {
    }
}

}  // namespace celaris::hub
