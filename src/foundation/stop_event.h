// The process-wide stop event.
//
// Clear from program start until the service's stop routine sets it; never reset. Every loop and
// worker of the relay waits on it (or polls it with a zero time-out) and ends when it is set. It is
// built on first use, is never destroyed (threads still waiting at exit keep a valid event), and may
// be used from any thread.
#pragma once

#include "foundation/event.h"

Event& ProcessStopEvent();
