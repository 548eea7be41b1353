#include "net/local_server_url.h"

#include "settings/configuration_settings.h"

std::string ReadLocalServerURLText() {
    return ConfigurationString(1, "Daruravidu Server", "Installer", "Hostname", kDefaultLocalServerURL).GetText();
}

const URL& LocalServerURL() {
    // Built on the first call, not at program load: the registry is not read before main.
    static const URL url = [] {
        const std::string text = ReadLocalServerURLText();
        return URL(ConstData(text));
    }();
    return url;
}
