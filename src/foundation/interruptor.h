// Interruption of deep work: an Interruptor is asked now and then by work that cannot wait on an
// event, and throws StopRequest when its stop condition holds.
//
// - Interruptor: never interrupts.
// - EventInterruptor: interrupts once its event (usually the process stop event) is set.
// - ThreadInterruptor: interrupts once its owner has set its stop flag; it stops one worker without
//   stopping the process.
//
// StopRequest is the orderly way out of work: loops that catch it end without reporting an error,
// and, being a NonDumpableException, it never writes a crash report. A StopRequest captured on one
// thread (CaptureCurrentException) comes out of Rethrow on another as a StopRequest again.
// CheckForInterruption may be called from any thread; the event or interruptor must outlive the work that
// asks it.
#pragma once

#include "base/exceptions.h"
#include "foundation/event.h"
#include "foundation/locked_object.h"

class StopRequest : public DebuggableException, public NonDumpableException {
  public:
    StopRequest();
};

class Interruptor {
  public:
    virtual ~Interruptor() = default;
    // Returns normally, or throws StopRequest when the work must stop.
    virtual void CheckForInterruption() {}
};

class EventInterruptor : public Interruptor {
  public:
    explicit EventInterruptor(Event& event) : m_event(event) {}
    void CheckForInterruption() override;

  private:
    Event& m_event;
};

class ThreadInterruptor : public Interruptor {
  public:
    void CheckForInterruption() override;
    // The owner's switch: true makes every later check throw, false lets work go on again.
    void SetStopFlag(bool stop) { *LockObject(m_stopFlag) = stop; }
    bool IsStopFlagSet() { return *LockObject(m_stopFlag); }

  private:
    Guarded<bool> m_stopFlag;
};
