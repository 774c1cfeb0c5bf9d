#include "message.h"

#include <atomic>
#include <cstdio>

#include "trimcore/isvd.h"

namespace {
struct Handler {
    TrimcoreMessageHandler fn;
    void* context;
};
std::atomic<Handler*> g_handler{nullptr};
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
    g_handler.store(handler != nullptr ? new Handler{handler, context} : nullptr);
}
