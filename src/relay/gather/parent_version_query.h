// The relay's questions to its parent about a site's version: the version the parent itself holds
// ("-siteversion") and the version the root server holds ("-rootversion", which the parent answers,
// asking further up when it is a relay itself). The serving side of both is the gather-mirror
// plug-in (kvr_gather_mirror_plugin.h).
//
// The question is a GET of
//     <parent base>/cgi-bin/vtdaruravidu/kvrgathermirror.exe/-siteversion?url=<site URL>&useCRC=<0|1>
// ("-rootversion" alike), where the parent base is the agent's "Server1" (ParentRelayConfiguration,
// read afresh for every question, as is its proxy) and the site URL goes in escaped as the site
// directory request escapes it (site_directory_request.h). The answer is the decimal header
// "x-kvr-siteversion" ("x-kvr-rootserver-siteversion"); the body is not read. The GET may take 60
// seconds and ends at once when the stop event is set.
//
// GatherState::GetExpectedVersion and GetExpectedVersionCRC cache the parent's answers for the
// polling period (gather_state.h).
//
// Pure functions apart from the GET; any thread may call them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/exceptions.h"

class Event;
class GatherState;

// The parent's version could not be had: the GET failed, or the answer carried no version. The
// cause is logged under "critical" before this is thrown.
class UnableToGetVersionFromParent : public DebuggableException, public NonDumpableException {};

inline constexpr std::int64_t kParentVersionQueryTimeOut = 60'000'000;

enum class ParentVersionQuery { SiteVersion, RootVersion };

// The URL of the question, for the parent base given.
std::string ParentVersionQueryURL(std::string_view parentBase, ParentVersionQuery query,
                                  std::string_view siteURL, bool useCRC);

// The site version the parent reports (its many-version CRC with useCRC). Every failure, a stop
// included, is logged and thrown as UnableToGetVersionFromParent.
std::uint32_t GetExpectedVersionOfParent(std::string_view siteURL, bool useCRC, Event& stop);

// The site version the root server reports, through the parent. Never fails for the GET or the
// answer: the failure is logged and the gather state's own expected value (GetExpectedVersionCRC or
// GetExpectedVersion, which may ask the parent in turn) is the answer. NoSiteIDMatchesURL then for
// a site the gather state does not know.
std::uint32_t GetCurrentVersionFromRoot(std::string_view siteURL, bool useCRC, GatherState& gatherState,
                                        Event& stop);
