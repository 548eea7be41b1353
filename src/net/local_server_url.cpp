#include "net/local_server_url.h"

#include "settings/configuration_settings.h"

namespace {
constexpr const char* kDefaultLocalServerURL = "http://127.0.0.1:52311";
}  // namespace

const URL& LocalServerURL() {
    // Built on the first call, not at program load: the registry is not read before main.
    static const URL url = [] {
        ConfigurationString hostname(1, "Daruravidu Server", "Installer", "Hostname", kDefaultLocalServerURL);
        return URL(hostname.GetValue().GetConstData());
    }();
    return url;
}
