#include "celaris/ascom/wait.h"

#include <chrono>
#include <thread>

namespace celaris::ascom {

void WaitForMilliseconds(int milliseconds) {
    if (milliseconds <= 0) return;
    // sleep_until on the steady clock resumes after interruptions by signals
    // and never returns early.
    std::this_thread::sleep_until(std::chrono::steady_clock::now() +
                                  std::chrono::milliseconds(milliseconds));
}

}  // namespace celaris::ascom
