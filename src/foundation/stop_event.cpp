#include "foundation/stop_event.h"

Event& ProcessStopEvent() {
    // Deliberately never destroyed: a detached thread may still be waiting on it while the process
    // exits, and a destroyed event would be a closed (or reused) descriptor under that wait.
    static Event* const stopEvent = new Event;
    return *stopEvent;
}
