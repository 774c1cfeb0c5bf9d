#include "message.h"

#include <atomic>
#include <cstdio>

#include "trimcore/isvd.h"

namespace {
struct Handler {
    TrimcoreMessageHandler fn;
    void* context;
    Handler* retired = nullptr;  // the one replaced before this one
};
std::atomic<Handler*> g_handler{nullptr};
// Replaced handlers, kept alive (and reachable, so leak checkers see them as
// owned) for a message in flight on another thread.
std::atomic<Handler*> g_retired{nullptr};
}  // namespace

namespace trimcore {

void ShowMessage(const char* text) {
    if (Handler* h = g_handler.load()) {
        h->fn(text, h->context);
        return;
    }
    std::fprintf(stderr, "trimcore: %s\n", text);
}

}  // namespace trimcore

extern "C" __attribute__((visibility("default"))) void TrimcoreSetMessageHandler(
    TrimcoreMessageHandler handler, void* context) {
    // Handlers are installed once or twice in a process's life; the old one
    // is kept alive so a message in flight on another thread stays valid.
    Handler* old = g_handler.exchange(handler != nullptr ? new Handler{handler, context} : nullptr);
    if (old == nullptr) return;
    old->retired = g_retired.load();
    while (!g_retired.compare_exchange_weak(old->retired, old)) {
    }
}
