// The millisecond wait: blocks the calling thread; no events are processed
// meanwhile, so nothing re-enters the caller during the wait.
#pragma once

namespace celaris::ascom {

// Returns after at least `milliseconds`; zero or less returns at once.
void WaitForMilliseconds(int milliseconds);

}  // namespace celaris::ascom
