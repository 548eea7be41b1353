// The connectivity test of the gather service loop: can the relay reach its parent, and the internet?
//
// CheckConnectivity builds a set of result bits, stores it as the gather service's
// "ConnectivityTestResult" (GatherOptionsManager::SetConnectivityTestResult) and answers bit 4:
//   "_KVRGather_Download_CheckParentFlag" on     bit 0 (1); with a "DownloadMirror URL" also bit 1 (2),
//                                                and bit 2 (4) when a GET of that URL followed by "/"
//                                                (unless it ends in "/" or "\") and "ConnectivityTest"
//                                                succeeds. So the parent part is 1, 3 or 7.
//   "_KVRGather_Download_CheckInternetFlag" on   bit 3 (8), and bit 4 (16) when a GET of
//                                                GatherOptionsManager::GetInternetTestURL succeeds.
// With both flags off the stored result is 0 and the answer false.
//
// TestConnectivityURL is one such GET: the gather fetch (gather_fetch.h) with the client name
// "Veltra KVRGather" into a temporary file "gsvc..." of the system's temporary folder, deleted
// afterwards; true when it succeeded (HTTP 200). An empty URL, any failure and a stop are false.
//
// Any thread; a test waits at most for the fetch's time limits, or until the stop event is set.
#pragma once

#include <cstdint>
#include <string_view>

class Event;
class GatherOptionsManager;

inline constexpr std::uint32_t kConnectivityParentChecked = 1;
inline constexpr std::uint32_t kConnectivityParentURLSet = 2;
inline constexpr std::uint32_t kConnectivityParentReached = 4;
inline constexpr std::uint32_t kConnectivityInternetChecked = 8;
inline constexpr std::uint32_t kConnectivityInternetReached = 16;

bool CheckConnectivity(GatherOptionsManager& options, Event& stop);
bool TestConnectivityURL(std::string_view url, const GatherOptionsManager& options, Event& stop);
