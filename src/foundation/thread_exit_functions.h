// Functions that run on every thread started through the thread classes, after its work and in the
// order they were registered: per-thread clean-up of libraries that keep per-thread state.
//
// Register at start-up, before worker threads exist; registering later is safe but a thread that is
// already ending may miss the new function. Threads the relay did not start (the main thread) do
// not run them.
#pragma once

using ThreadExitFunction = void (*)();

void AddThreadExitFunction(ThreadExitFunction function);
// Runs every registered function on the calling thread, in registration order.
void RunThreadExitFunctions();
