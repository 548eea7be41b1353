#include "relay/register/client_notification.h"

#include <array>
#include <utility>

#include "base/character_classes.h"

namespace {

using namespace NotificationType;

constexpr std::array<std::pair<std::uint32_t, const char*>, 12> kTypeNames{{
    {kGatherAction, "GatherAction"},
    {kForceRefresh, "ForceRefresh"},
    {kRegister, "Register"},
    {kDownloadAvailable, "DownloadAvailable"},
    {kGatherHash, "GatherHash"},
    {kResendReport, "ResendReport"},
    {kGatherActionMV, "GatherActionMV"},
    {kForceRefreshMV, "ForceRefreshMV"},
    {kGatherHashMV, "GatherHashMV"},
    {kWakeOnLanForward, "WakeOnLanForward"},
    {kDownloadCRC, "DownloadCRC"},
    {kWakeFromDeepSleep, "WakeFromDeepSleep"},
}};

}  // namespace

std::uint32_t NotificationTypeFromName(std::string_view name) {
    for (const auto& [number, typeName] : kTypeNames) {
        if (Ascii::EqualIgnoringCase(name, typeName)) return number;
    }
    throw UnknownClientCommand();
}

const char* NotificationTypeName(std::uint32_t type) {
    for (const auto& [number, typeName] : kTypeNames) {
        if (number == type) return typeName;
    }
    throw UnknownClientCommand();
}

std::uint32_t MultiValueType(std::uint32_t type) {
    if (type == kGatherAction) return kGatherActionMV;
    if (type == kGatherHash) return kGatherHashMV;
    return type;
}
