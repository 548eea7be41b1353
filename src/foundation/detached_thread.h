// StartDetachedThread: runs function(argument) on a new thread that nobody waits for.
//
// The thread discards any exception the function lets out, then runs the thread-exit functions.
// When the thread cannot be started, ThreadPoolError is thrown and the caller still owns whatever
// the argument points at; otherwise the function owns it.
#pragma once

class ThreadPoolError {};

using DetachedFunction = void (*)(void* argument);

void StartDetachedThread(DetachedFunction function, void* argument);
