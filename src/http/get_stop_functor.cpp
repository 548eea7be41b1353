#include "http/get_stop_functor.h"

#include "foundation/event.h"

bool EventStopFunctor::ShouldStop() {
    return m_event.Wait(0);
}
