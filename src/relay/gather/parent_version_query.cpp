#include "relay/gather/parent_version_query.h"

#include <optional>

#include "base/numerals.h"
#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "foundation/log_manager.h"
#include "http/http_client_errors.h"
#include "http/http_client_session.h"
#include "http/http_handlers.h"
#include "http/socket_http_client.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/site_directory_request.h"
#include "relay/service/parent_relay_configuration.h"

namespace {

constexpr const char* kSiteVersionPath = "/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-siteversion";
constexpr const char* kRootVersionPath = "/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-rootversion";
constexpr const char* kSiteVersionHeader = "x-kvr-siteversion";
constexpr const char* kRootVersionHeader = "x-kvr-rootserver-siteversion";

// How one question ended: the version, or the text of the failure (empty when it has none).
struct QueryOutcome {
    std::optional<std::uint32_t> version;
    bool answered = false;
    std::string errorText;
};

// A version header that is present but blank, or not a 32-bit decimal, carries no version.
std::optional<std::uint32_t> VersionIn(const NameValueHttpHandler& handler, const char* header) {
    if (!handler.HasHeaderValue(header)) return std::nullopt;
    try {
        return DecimalToUInt32(ConstData(handler.GetHeaderValue(header)));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Every exception of the GET, a stop among them, is a failed GET: the parent did not answer.
QueryOutcome AskParent(ParentVersionQuery query, std::string_view siteURL, bool useCRC, Event& stop) {
    QueryOutcome outcome;
    try {
        const ParentRelayConfiguration parent;
        const std::string url = ParentVersionQueryURL(parent.GetAgentServer(), query, siteURL, useCRC);
        EventInterruptor interruptor(stop);
        NameValueHttpHandler handler(url.c_str(), interruptor);
        HTTPClientSession session = parent.MakeHTTPClientSession();
        PerformHTTPRequest(handler, session, kParentVersionQueryTimeOut, stop);
        outcome.answered = true;
        outcome.version = VersionIn(
            handler, query == ParentVersionQuery::SiteVersion ? kSiteVersionHeader : kRootVersionHeader);
    } catch (const HttpClientError& error) {
        outcome.errorText = error.Name();
    } catch (const std::exception& error) {
        outcome.errorText = error.what();
    } catch (...) {
    }
    return outcome;
}

}  // namespace

std::string ParentVersionQueryURL(std::string_view parentBase, ParentVersionQuery query,
                                  std::string_view siteURL, bool useCRC) {
    std::string url(parentBase);
    url.append(query == ParentVersionQuery::SiteVersion ? kSiteVersionPath : kRootVersionPath);
    url.append("?url=").append(EscapeSiteURLForQuery(siteURL));
    url.append(useCRC ? "&useCRC=1" : "&useCRC=0");
    return url;
}

std::uint32_t GetExpectedVersionOfParent(std::string_view siteURL, bool useCRC, Event& stop) {
    const QueryOutcome outcome = AskParent(ParentVersionQuery::SiteVersion, siteURL, useCRC, stop);
    if (!outcome.answered) {
        KVR_LOG("critical") << "Error: "
                            << (outcome.errorText.empty() ? "Unknown error in GetExpectedVersionOfParent"
                                                          : outcome.errorText);
        throw UnableToGetVersionFromParent();
    }
    if (!outcome.version) {
        KVR_LOG("critical") << "GetExpectedVersionOfParent: Parent response did not contain a site version.";
        throw UnableToGetVersionFromParent();
    }
    return *outcome.version;
}

std::uint32_t GetCurrentVersionFromRoot(std::string_view siteURL, bool useCRC, GatherState& gatherState,
                                        Event& stop) {
    const QueryOutcome outcome = AskParent(ParentVersionQuery::RootVersion, siteURL, useCRC, stop);
    if (outcome.version) return *outcome.version;
    if (!outcome.answered)
        KVR_LOG("critical") << "Error:"
                            << (outcome.errorText.empty() ? "Unknown error in GetCurrentVersionFromRoot"
                                                          : outcome.errorText);
    else
        KVR_LOG("critical") << "GetCurrentVersionFromRoot: Server response did not contain a site version.";
    return useCRC ? gatherState.GetExpectedVersionCRC(siteURL, false)
                  : gatherState.GetExpectedVersion(siteURL, false);
}
