// PostDownloadRequests: how this relay asks its parent to make files available, the child's side of
// the parent's "DownloadRequest" plug-in (download_request_plugin.h).
//
// The targets are posted as versioned target lists (versioned_object_list.h) in batches of at most
// kMostTargetsPerPost targets and kMostBytesPerPost bytes of body (a single longer target goes alone),
// well within what the parent accepts; each batch's reply is a versioned list of download responses
// (download_response.h). The answer is every batch's responses in order. A batch whose transfer fails,
// whose status is not 200 or whose reply does not read ends the exchange: the answer then holds the
// batches before it. Nothing is thrown and nothing logged; the request and reply bodies go through
// temporary files that are deleted when the call ends.
//
// UpstreamDownloadRequestURL gives the URL to post to: the parent's URL ("Server1") with the path
// component "DownloadRequest" appended, which the parent's plug-in path table reaches by the plug-in's
// name.
//
// Runs on the calling thread; the stop functor ends a transfer in progress (the answer then holds the
// batches before it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "http/get_stop_functor.h"
#include "relay/download/download_response.h"
#include "relay/service/download_request_target.h"
#include "relay/service/parent_relay_configuration.h"

// The parent's URL is empty or does not read as a URL; the text names it.
class NoParentRelayURL : public ExceptionPL {
  public:
    explicit NoParentRelayURL(const std::string& server);
};

constexpr std::size_t kMostTargetsPerPost = 1'000;
constexpr std::size_t kMostBytesPerPost = 4 * 1024 * 1024;
constexpr std::uint64_t kDownloadRequestTimeLimit = 60'000'000;

// NoParentRelayURL for an empty or unreadable parent URL.
std::string UpstreamDownloadRequestURL(const std::string& parentURL);

// The targets cut into the batches that are posted one after the other, in target order.
std::vector<std::vector<DownloadRequestTarget>> BatchDownloadRequests(const std::vector<DownloadRequestTarget>& targets);

std::vector<DownloadResponse> PostDownloadRequests(const std::vector<DownloadRequestTarget>& targets,
                                                   const std::string& url, const ParentRelayConfiguration& parent,
                                                   std::uint64_t timeLimit, GetStopFunctor& stop);
