#include "relay/gather/connectivity_check.h"

#include <string>

#include "foundation/file_operations.h"
#include "foundation/temporary_files.h"
#include "http/header_handler.h"
#include "relay/gather/directory_header_handler.h"
#include "relay/gather/gather_fetch.h"
#include "relay/service/gather_options_manager.h"

namespace {

constexpr const char* kTestFilePrefix = "gsvc";
constexpr const char* kParentTestName = "ConnectivityTest";

std::string ParentTestURL(std::string mirrorURL) {
    if (!mirrorURL.ends_with('/') && !mirrorURL.ends_with('\\')) mirrorURL.push_back('/');
    return mirrorURL + kParentTestName;
}

}  // namespace

bool TestConnectivityURL(std::string_view url, const GatherOptionsManager& options, Event& stop) {
    if (url.empty()) return false;
    FileLocation body;
    try {
        body = MakeTemporaryFileLocation(kTestFilePrefix);
    } catch (...) {
        return false;
    }
    bool reached = true;
    try {
        HeaderHandler handler(nullptr, DirectoryHeaderHandler::kClientName);
        GatherFetch(url, body, handler, options, stop);
    } catch (...) {
        reached = false;
    }
    try {
        RemoveFileOrEmptyDirectory(body);
    } catch (...) {
    }
    return reached;
}

bool CheckConnectivity(GatherOptionsManager& options, Event& stop) {
    std::uint32_t result = 0;
    if (options.CheckParentFlag()) {
        result |= kConnectivityParentChecked;
        const std::string mirrorURL = options.GetDownloadMirrorURL();
        if (!mirrorURL.empty()) {
            result |= kConnectivityParentURLSet;
            if (TestConnectivityURL(ParentTestURL(mirrorURL), options, stop)) result |= kConnectivityParentReached;
        }
    }
    if (options.CheckInternetFlag()) {
        result |= kConnectivityInternetChecked;
        if (TestConnectivityURL(options.GetInternetTestURL(), options, stop)) result |= kConnectivityInternetReached;
    }
    options.SetConnectivityTestResult(result);
    return (result & kConnectivityInternetReached) != 0;
}
