#include "foundation/interruptor.h"

StopRequest::StopRequest() {
    // Registering the capture with the first StopRequest ever made guarantees that it is registered
    // before any StopRequest can be captured, in every program that can throw one, with no reliance
    // on the static initialisers of a library member that the linker may leave out.
    static const bool registered = (RegisterExceptionType(&CaptureExceptionOfType<StopRequest>), true);
    static_cast<void>(registered);
}

void EventInterruptor::CheckForInterruption() {
    if (m_event.Wait(0)) throw StopRequest();
}

void ThreadInterruptor::CheckForInterruption() {
    if (IsStopFlagSet()) throw StopRequest();
}
