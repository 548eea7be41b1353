// ActionSiteResetReceiver: the one that must drop the relay's downloads of actions when the endpoint
// agent's action site starts a new epoch. The relay's HTTP server hands it a reset request and goes on
// serving; the receiver sets the request's event once it has let go of the action downloads, and
// only then does the server delete the stored action URLs.
//
// The download manager is the receiver of a running relay. Called on the server's loop thread; the
// receiver may set the event on any thread, at once or later, and keeps its own share of it.
#pragma once

#include <memory>

#include "foundation/event.h"

class ActionSiteResetReceiver {
  public:
    virtual ~ActionSiteResetReceiver() = default;
    virtual void RequestActionSiteReset(std::shared_ptr<Event> done) = 0;
};
