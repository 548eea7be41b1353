#include "relay/gather/gather_fetch.h"

#include "foundation/clocks.h"
#include "foundation/event.h"
#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_client_session.h"
#include "relay/gather/directory_header_handler.h"
#include "relay/gather/url_fetcher.h"
#include "relay/service/gather_options_manager.h"
#include "relay/service/parent_relay_configuration.h"

namespace {

// The settings' unsigned values travel in the handler's int fields as their bit patterns: the
// unlimited maximum 4294967295 goes out as -1, as the parent expects it.
int HeaderNumber(std::uint32_t value) {
    return static_cast<int>(value);
}

void CopyThrottleSettings(const GatherOptionsManager& options, HeaderHandler& handler) {
    handler.m_throttleGroup = options.GetThrottleGroup();
    handler.m_downloadBytesPerSecond = HeaderNumber(options.GetLimitBytesPerSecond());
    handler.m_dynamicThrottlingEnabled = options.IsDynamicThrottleEnabled();
    handler.m_dynamicMaxBytesPerSecond = HeaderNumber(options.GetDynamicThrottleMaxBytesPerSecond());
    handler.m_dynamicMinBytesPerSecond = HeaderNumber(options.GetDynamicThrottleMinBytesPerSecond());
    handler.m_dynamicPercentage = HeaderNumber(options.GetDynamicThrottlePercentage());
}

}  // namespace

void GatherFetch(std::string_view url, const FileLocation& destination, HeaderHandler& handler,
                 const GatherOptionsManager& options, Event& stop) {
    CopyThrottleSettings(options, handler);
    HTTPClientSession session = ParentRelayConfiguration().MakeHTTPClientSession();
    EventStopFunctor stopFunctor(stop);
    const FetchResult result = FetchURLForGather(ByteString(ConstData(url)), destination, handler, session, stopFunctor);
    if (result.IsInterrupted()) throw GatherCancelled();
    if (!result.IsSuccessful()) throw GatherFetchFailure("GetURL failure on " + std::string(url) + ": " + result.FullText());
}

void GatherGetURL(std::string_view url, const FileLocation& destination, std::string_view localAddress,
                  const GatherOptionsManager& options, Event& stop) {
    HeaderHandler handler(nullptr, DirectoryHeaderHandler::kClientName);
    if (localAddress.empty()) {
        GatherFetch(url, destination, handler, options, stop);
        return;
    }
    const std::size_t lastSlash = url.rfind('/');
    const std::string_view name = lastSlash == std::string_view::npos ? url : url.substr(lastSlash + 1);
    GatherFetch(std::string(localAddress) + std::string(name), destination, handler, options, stop);
}

std::string FetchSiteDirectory(std::string_view url, const FileLocation& destination, DirectoryHeaderHandler& handler,
                               const GatherOptionsManager& options, Event& stop) {
    std::string timed(url);
    timed.append(timed.find('?') == std::string::npos ? "?" : "&").append("Time=").append(std::to_string(NowInSeconds()));
    GatherFetch(timed, destination, handler, options, stop);
    return timed;
}
