// The endpoint agent's FIPS setting, the client setting "_KVRClient_Cryptography_FipsMode", read as
// the choice of the crypto library's FIPS mode.
#pragma once

// What the setting decided. The values are the ones the agent's code uses.
enum FipsModeChoice : int {
    kFipsModeRequired = 0,            // "required" (ASCII case ignored)
    kFipsModeNone = 1,                // "none" (ASCII case ignored)
    kFipsModeAsMastheadAsksOn = 2,    // anything else, and the masthead asks for FIPS mode
    kFipsModeAsMastheadAsksOff = 3,   // anything else, and it does not
};

// Reads the setting (at most 31 characters; a longer, missing or other value leaves the choice to
// the masthead).
FipsModeChoice readFipsMode(bool mastheadAsksForFips);
// FIPS mode is on for kFipsModeRequired and kFipsModeAsMastheadAsksOn.
bool IsFipsModeOn(FipsModeChoice choice);
