// The replies of the registration path: the refusals this relay gives itself, the answers it passes
// on from its parent, and the Version page. Every reply is a plain-text reply with status 200
// (http/cgi_response.h) whose own header lines come first among the extra headers; lines end in CR
// LF. The status line is "x-veltra-clientregister-status: <word>", the version line
// "x-veltra-clientregister-version: <version>".
//
// `dateLine` and `serverLine` are the parent's "Date:" and "x-veltra-server:" lines, whole and
// without their line end, passed on as the parent sent them; an empty one is left out. A passed-on
// Date line replaces the writer's own.
//
// Free functions over the writer; no state. A failed write is reported as the writer reports it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/cgi_response.h"
#include "relay/register/wake_on_lan_adapter.h"

inline constexpr std::string_view kRelayVersionText = "8.0.627.0";

// "RelayRejectClient": this relay is older than the client's minimum.
void SendRelayVersionTooLowReply(ClientWriter& writer);
// "RelayRejectClient": the client's hop estimates are above this relay's limits.
void SendHopLimitReply(ClientWriter& writer, std::uint32_t minHopLimit, std::uint32_t maxHopLimit);
// "RelayRejectClient": the client belongs to another deployment.
void SendDifferentDeploymentReply(ClientWriter& writer);
void SendInvalidSequenceNumberReply(ClientWriter& writer, std::string_view dateLine, std::string_view serverLine);
void SendTooManyChildrenReply(ClientWriter& writer, std::uint32_t childCount, std::string_view dateLine,
                              std::string_view serverLine);
void SendTooManyChildRelaysReply(ClientWriter& writer, std::uint32_t childCount, std::string_view dateLine,
                                 std::string_view serverLine);

// What the parent granted, as the success reply passes it on.
struct RegistrationGrant {
    std::uint64_t computerID = 0;
    std::uint32_t slot = 0;
    bool resendReports = false;
    std::uint32_t lastGoodSequence = 0;
    std::uint32_t lastBadSequence = 0;
};

// "Success": the computer ID line "x-veltra-itclient-computerid: id,slot,udpPort,resend,good,bad"
// with `udpPort` (this relay's own UDP message port, never the parent's), the parent's version,
// "x-veltra-localrelay-version", the adapter line when there is an adapter, then the parent's lines.
void SendRegistrationSuccessReply(ClientWriter& writer, std::uint32_t udpPort, const RegistrationGrant& grant,
                                  std::string_view dateLine, std::string_view versionText,
                                  std::string_view serverLine, const std::optional<WakeOnLANAdapter>& adapter);

// The answer to RequestType "Version": this relay's version and `siteGatherURL`, the deployment's
// gather URL (empty when unknown).
void SendVersionPage(ClientWriter& writer, std::string_view siteGatherURL);
