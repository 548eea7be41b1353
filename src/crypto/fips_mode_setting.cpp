#include "crypto/fips_mode_setting.h"

#include "base/character_classes.h"
#include "settings/subsection_store.h"

namespace {

constexpr const char* kFipsModeSetting = "_KVRClient_Cryptography_FipsMode";
// 31 characters and the terminating NUL.
constexpr unsigned kFipsModeBufferSize = 32;

}  // namespace

FipsModeChoice readFipsMode(bool mastheadAsksForFips) {
    char buffer[kFipsModeBufferSize] = {};
    bool found = false;
    if (GetClientSettingText(kFipsModeSetting, buffer, sizeof buffer, found)) {
        if (Ascii::EqualIgnoringCase(std::string_view(buffer), "required")) return kFipsModeRequired;
        if (Ascii::EqualIgnoringCase(std::string_view(buffer), "none")) return kFipsModeNone;
    }
    return mastheadAsksForFips ? kFipsModeAsMastheadAsksOn : kFipsModeAsMastheadAsksOff;
}

bool IsFipsModeOn(FipsModeChoice choice) {
    return choice == kFipsModeRequired || choice == kFipsModeAsMastheadAsksOn;
}
