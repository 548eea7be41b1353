// The registration decision: whether this relay takes a registration ("RegisterMe", "RegisterMe60",
// "InvalidateAndReRegisterMe", all served alike) and what it forwards to its parent.
//
// In this order, the first step that answers ends the request:
//   1. the gate: while a new parent brought by the local agent is being taken over, every
//      registration is refused;
//   2. this relay's version against the client's MinRelayVersion (VersionQuadLess);
//   3. the hop limits MinHopEstimateLimit and MaxHopEstimateLimit, for clients other than loopback;
//   4. the deployment: a Root that differs from the deployment's site gather URL's scheme and
//      authority (case-sensitive) refuses a remote client and is only logged for a loopback one;
//   5. with no parent to ask (no agent Server1, and ParentRelayURL unset or pointing at this relay's
//      own listener), "Error: no parent relay configured", logged at "critical" at most once a
//      minute;
//   6. for a direct child, ParentID (this relay's computer ID), MaxChildren and MaxRelayChildren are
//      added to the forward list, and AdapterInfo for the chosen adapter (every reported adapter for
//      a loopback client);
//   7. a loopback registration while the agent's Server1 is set is forwarded to that server (with
//      IsRelay=1) under the gate, and the parent URLs are then rewritten to it (RewriteParentURLs);
//      any other is forwarded to ParentRelayURL (registration_forwarding.h).
// Refusals are status-200 replies (registration_replies.h); a failure of steps 6 and 7 is thrown to
// the dispatch, which answers it with its text.
//
// Threads: any number of requests at once. The gate is a process-wide flag; the takeover of a new
// parent holds ClientRegistrationLock() (process_setup.h), so only one runs at a time.
#pragma once

#include <atomic>

struct RegistrationRequest;

// The process-wide gate, false at start; true while a new parent is being taken over.
std::atomic<bool>& RegistrationUpdateInProgress();

// Sets the flag for the life of the guard and puts its former value back when the guard goes.
class MakeFlagTrueInScope {
  public:
    explicit MakeFlagTrueInScope(std::atomic<bool>& flag) : m_flag(flag), m_former(flag.exchange(true)) {}
    ~MakeFlagTrueInScope() { m_flag.store(m_former); }
    MakeFlagTrueInScope(const MakeFlagTrueInScope&) = delete;
    MakeFlagTrueInScope& operator=(const MakeFlagTrueInScope&) = delete;

  private:
    std::atomic<bool>& m_flag;
    bool m_former;
};

// Serves a registration request as above: true when it was forwarded and answered, false when this
// relay refused it itself.
bool HandleRegistration(RegistrationRequest& request);

// Serves RequestType "Version": this relay's version and the deployment's site gather URL.
void ServeVersion(RegistrationRequest& request);
