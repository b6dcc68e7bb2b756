#include "BlockingHook.h"

namespace lurvik {

namespace {
thread_local BlockingHook t_hook;
thread_local bool t_cancelled = false;
} // namespace

void setBlockingHook(BlockingHook hook) {
    t_hook = std::move(hook);
}

void unhookBlockingHook() {
    t_hook = nullptr;
}

void cancelBlockingCall() {
    t_cancelled = true;
}

void beginBlockingCall() {
    t_cancelled = false;
}

bool runBlockingHook() {
    if (t_hook)
        t_hook();
    return t_cancelled;
}

} // namespace lurvik
