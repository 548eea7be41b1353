#include "relay/register/local_registration_requests.h"

#include <string>

#include "foundation/clocks.h"
#include "settings/configuration_settings.h"

namespace {

constexpr int kMachineSetting = 1;
constexpr const char* kVersionHeaderLine = "\r\nx-veltra-clientregister-version: 8.0.627.0\r\n";

std::uint64_t ReadAgentComputerID() {
    const std::uint32_t id32 = ConfigurationNumber(kMachineSetting, "DaruraviduClient", "GlobalOptions", "ComputerId", 0)
                                   .GetValue();
    if (id32 != 0) return id32;
    return ConfigurationNumber64(kMachineSetting, "DaruraviduClient", "GlobalOptions", "ComputerId", 0).GetValue();
}

void SendResult(ClientWriter& writer, const char* headerName, const std::string& result) {
    const std::string headers = std::string(headerName) + ": " + result + kVersionHeaderLine;
    SendPlainTextResponseWithHeaders(writer, "Success\r\n" + result + "\r\n", headers, 200, false, false);
}

}  // namespace

void SendComputerIDReply(ClientWriter& writer) {
    SendResult(writer, "x-veltra-itclient-getcomputerid-result", std::to_string(ReadAgentComputerID()));
}

// Times are compared as the list keeps them, unsigned 32-bit seconds since 1970: a registration
// counts while it is later than now minus the age.
bool IsRecentDescendant(const ClientRegistrationList& list, std::uint64_t computerID, std::uint32_t expirationAge,
                        std::uint32_t now) {
    ClientRegistrationListItem item;
    if (!list.GetItem(computerID, item)) return false;
    return item.regTime > static_cast<std::uint32_t>(now - expirationAge);
}

void AnswerIsDescendant(const ClientRegistrationList& list, ClientWriter& writer,
                        const ClientRegisterConfiguration& configuration, std::uint64_t computerID) {
    const bool descendant =
        IsRecentDescendant(list, computerID, configuration.GetIsDescendantExpirationAge(),
                           static_cast<std::uint32_t>(NowInSeconds()));
    SendResult(writer, "x-veltra-itclient-isdescendant-result", descendant ? "true" : "false");
}
