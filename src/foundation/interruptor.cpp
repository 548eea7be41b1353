#include "foundation/interruptor.h"

void EventInterruptor::CheckForInterruption() {
    if (m_event.Wait(0)) throw StopRequest();
}

void ThreadInterruptor::CheckForInterruption() {
    if (IsStopFlagSet()) throw StopRequest();
}
