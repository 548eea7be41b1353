#include "relay/register/registration_replies.h"

namespace {

constexpr std::string_view kRelayRejectClient = "RelayRejectClient";

std::string StatusLine(std::string_view word) {
    return "x-veltra-clientregister-status: " + std::string(word) + "\r\n";
}

std::string VersionLine(std::string_view version) {
    return "x-veltra-clientregister-version: " + std::string(version) + "\r\n";
}

// The parent's line with its line end, or nothing for an empty one.
std::string PassedOnLine(std::string_view line) { return line.empty() ? std::string() : std::string(line) + "\r\n"; }

std::string RejectHeaders() { return StatusLine(kRelayRejectClient) + VersionLine(kRelayVersionText); }

void SendReply(ClientWriter& writer, std::string_view body, std::string_view headers) {
    SendPlainTextResponseWithHeaders(writer, body, headers, 200, false, false);
}

void SendTooManyReply(ClientWriter& writer, std::string_view headerName, std::string_view word,
                      std::uint32_t childCount, std::string_view dateLine, std::string_view serverLine) {
    std::string count = std::to_string(childCount);
    std::string headers = RejectHeaders() + std::string(headerName) + ": " + count + "\r\n" + PassedOnLine(dateLine) +
                          PassedOnLine(serverLine);
    std::string body = std::string(kRelayRejectClient) + "\r\n" + std::string(word) + "\r\n" + count + "\r\n";
    SendReply(writer, body, headers);
}

}  // namespace

void SendRelayVersionTooLowReply(ClientWriter& writer) {
    std::string body = std::string(kRelayRejectClient) + "\r\nThis relay has version " + std::string(kRelayVersionText) +
                       ", which does not meet the version required by the client.\r\n";
    SendReply(writer, body, RejectHeaders());
}

void SendHopLimitReply(ClientWriter& writer, std::uint32_t minHopLimit, std::uint32_t maxHopLimit) {
    std::string body = std::string(kRelayRejectClient) + "\r\nThis relay only accepts clients with minhop counts <= " +
                       std::to_string(minHopLimit) + " and maxhop counts <= " + std::to_string(maxHopLimit) + "\r\n";
    SendReply(writer, body, RejectHeaders());
}

void SendDifferentDeploymentReply(ClientWriter& writer) {
    SendReply(writer, std::string(kRelayRejectClient) + "\r\nError: Different Deployment.\r\n", RejectHeaders());
}

void SendInvalidSequenceNumberReply(ClientWriter& writer, std::string_view dateLine, std::string_view serverLine) {
    std::string headers = StatusLine("Invalid Sequence Number") + VersionLine(kRelayVersionText) +
                          PassedOnLine(dateLine) + PassedOnLine(serverLine);
    SendReply(writer, "Invalid Sequence Number\r\n", headers);
}

void SendTooManyChildrenReply(ClientWriter& writer, std::uint32_t childCount, std::string_view dateLine,
                              std::string_view serverLine) {
    SendTooManyReply(writer, "x-veltra-clientregister-toomanychildren", "TooManyChildren", childCount, dateLine,
                     serverLine);
}

void SendTooManyChildRelaysReply(ClientWriter& writer, std::uint32_t childCount, std::string_view dateLine,
                                 std::string_view serverLine) {
    SendTooManyReply(writer, "x-veltra-clientregister-toomanychildrelays", "TooManyChildRelays", childCount, dateLine,
                     serverLine);
}

void SendRegistrationSuccessReply(ClientWriter& writer, std::uint32_t udpPort, const RegistrationGrant& grant,
                                  std::string_view dateLine, std::string_view versionText,
                                  std::string_view serverLine, const std::optional<WakeOnLANAdapter>& adapter) {
    std::string id = std::to_string(grant.computerID);
    std::string slot = std::to_string(grant.slot);
    std::string port = std::to_string(udpPort);
    std::string resend = grant.resendReports ? "1" : "0";
    std::string good = std::to_string(grant.lastGoodSequence);
    std::string bad = std::to_string(grant.lastBadSequence);
    std::string adapterText = adapter ? std::string(FormatWakeOnLANAdapter(*adapter).View()) : "";

    std::string headers = StatusLine("Success") + "x-veltra-itclient-computerid: " + id + "," + slot + "," + port +
                          "," + resend + "," + good + "," + bad + "\r\n" + VersionLine(versionText) +
                          "x-veltra-localrelay-version: " + std::string(kRelayVersionText) + "\r\n";
    if (adapter) headers += "x-kvr-wakeonlan-adapterinfo: " + adapterText + "\r\n";
    headers += PassedOnLine(dateLine) + PassedOnLine(serverLine);

    std::string body = "Success\r\n" + id + "\r\n" + slot + "\r\n" + port + "\r\n" + std::string(versionText) +
                       "\r\n" + resend + "\r\n" + good + "\r\n" + bad + "\r\n" +
                       (adapter ? adapterText : std::string("No WakeOnLAN adapter selected.")) + "\r\n";
    SendReply(writer, body, headers);
}

void SendVersionPage(ClientWriter& writer, std::string_view siteGatherURL) {
    std::string headers = "Server: VeltraHTTPServer/" + std::string(kRelayVersionText) + "\r\n" +
                          VersionLine(kRelayVersionText) + "x-mendle-site-gather-url: " + std::string(siteGatherURL) +
                          "\r\n";
    SendReply(writer, "\r\nClientRegister\r\nVersion " + std::string(kRelayVersionText) + "\r\n", headers);
}
