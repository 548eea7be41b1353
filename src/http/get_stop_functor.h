// GetStopFunctor: how a caller of the main HTTP client (http_client.h) says that a transfer must
// stop. The client asks ShouldStopWaiting again and again while it waits for its worker, and
// ShouldStop between the steps of the transfer.
//
// The base never stops. EventStopFunctor stops once its event (usually ProcessStopEvent()) is set.
// Subclasses may be asked from the caller's thread and from the client's worker thread at the same
// time, so their answers must be safe to give from any thread.
#pragma once

class Event;

class GetStopFunctor {
  public:
    virtual ~GetStopFunctor() = default;
    // True when the transfer must stop.
    virtual bool ShouldStop() { return false; }
    // Asked while the caller waits for the worker; the base asks ShouldStop.
    virtual bool ShouldStopWaiting() { return ShouldStop(); }
    // True when the waiting caller is a thread whose messages are to be dispatched while it waits.
    // Nothing on this platform has such messages: the client waits the same way either way.
    virtual bool PumpsMessages() { return false; }
};

class EventStopFunctor : public GetStopFunctor {
  public:
    // The event is not owned and must outlive the functor.
    explicit EventStopFunctor(Event& event) : m_event(event) {}

    // A look at the event, without waiting.
    bool ShouldStop() override;
    bool PumpsMessages() override { return true; }

  private:
    Event& m_event;
};
