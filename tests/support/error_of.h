// The error a call raises, for tests that check numbers and texts.
#pragma once

#include <QString>

#include "celaris/dispatch/com_error.h"

namespace celaris::test {

// The error fn raised, or one with number 0 when it raised none.
template <typename Fn>
dispatch::ComError ErrorOf(Fn&& fn) {
    try {
        fn();
    } catch (const dispatch::ComError& e) {
        return e;
    }
    return dispatch::ComError(0, QStringLiteral("none"), QStringLiteral("no error"));
}

}  // namespace celaris::test
