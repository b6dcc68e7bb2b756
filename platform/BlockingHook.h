#pragma once

#include <functional>

namespace lurvik {

// Every socket wait and name look-up of this layer runs in slices of at most 50 ms; between
// slices it calls the calling thread's blocking hook. A hook that calls cancelBlockingCall() makes
// the call that is waiting fail at once with SocketError::Cancelled. This is how the main thread
// stops a fetch thread that sits in a blocking call: it flags the agent, and the fetch thread's
// own hook notices the flag and cancels its own call.
using BlockingHook = std::function<void()>;

void setBlockingHook(BlockingHook hook);
void unhookBlockingHook();
// Cancels the blocking call the calling thread is waiting in; meant to be called from its hook.
void cancelBlockingCall();

// Used by the socket layer: runs the hook and reports whether the current call was cancelled.
bool runBlockingHook();
// Marks the start of a new blocking call, forgetting a cancel aimed at an earlier one.
void beginBlockingCall();

constexpr int kBlockingSliceMs = 50;

} // namespace lurvik
