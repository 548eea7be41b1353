// The threads of the site gathers: one thread per gather request (SiteGatherWorker), started by the
// gather service loop, at most kMaxConcurrentGathers at a time and never two for one site.
//
// LaunchSiteGather, called once per pass of the loop, takes the oldest queued request of the gather
// state whose site is not being gathered, while fewer than the limit run, and starts its thread. The
// other requests keep their places in the queue: a site's second request waits there until its first
// gather has ended (and then usually finds the version committed, without fetching it again).
//
// The thread body, ProcessSiteGatherRequest, runs the worker and reports how it ended:
//   normal end               SuccessfulSiteGather (the worker reported it)
//   GatherFinishedEarly      GatheredSameVersion "Already have latest version of site."
//   GatherFilesInUse         RetrySiteGather "Files in use by some other process.  Will try again later."
//   InvalidActionSiteEpoch   FailedSiteGather "Discarding site (id <id>) because it has an invalid action
//                            site epoch."
//   EpochReset               nothing (the gather state has already dealt with the site)
//   GatherCancelled          FailedSiteGather "Gather cancelled by stop request."
//   anything else            FailedSiteGather with the exception's text
// A report that fails is logged under "critical".
//
// The owner (the loop's thread) is the only caller of LaunchSiteGather and JoinAll; the gather threads
// only take themselves off the running set when they end. Destruction joins every gather thread: the
// owner sets the stop event first, which every fetch watches. The options, the stop event and the
// gather state must outlive the threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>

#include "foundation/thread_group.h"
#include "relay/gather/site_gather_params.h"

class Event;
class GatherOptionsManager;
class GatherState;

// The thread body of one gather request.
void ProcessSiteGatherRequest(const std::shared_ptr<const SiteGatherParams>& params, GatherOptionsManager& options,
                              Event& stop, GatherState& gatherState);

class SiteGatherThreads {
  public:
    // Enough for the sites a relay gathers at once in practice, few enough that a burst of queued
    // sites cannot exhaust the machine's threads and the parent's connections.
    static constexpr std::size_t kMaxConcurrentGathers = 8;

    SiteGatherThreads() = default;
    SiteGatherThreads(const SiteGatherThreads&) = delete;
    SiteGatherThreads& operator=(const SiteGatherThreads&) = delete;

    // Starts the next request as said above; false when none was started. A failed thread start
    // throws PosixPlatform::ThreadError and leaves the request out of the queue (it is reported failed).
    bool LaunchSiteGather(GatherOptionsManager& options, Event& stop, GatherState& gatherState);
    // The sites whose gathers run.
    std::set<std::uint32_t> RunningSites();
    // Waits for every gather thread to end.
    void JoinAll() { m_threads.JoinAll(); }

  private:
    void Finished(std::uint32_t siteID);

    std::mutex m_lock;
    std::set<std::uint32_t> m_running;
    // Last, so that destruction joins the threads before the set they leave goes.
    ThreadGroup m_threads;
};
