// The address of the local server: the machine setting "Hostname" (HKLM "Software\Veltra\Daruravidu
// Server\Installer", a text; default "http://127.0.0.1:52311"). The gather mirror plug-in resolves
// the URLs it hands out against it.
#pragma once

#include <string>

#include "net/url.h"

inline constexpr const char* kDefaultLocalServerURL = "http://127.0.0.1:52311";

// The setting's text, read afresh on every call.
std::string ReadLocalServerURLText();

// Read and parsed on first use and kept for the life of the process; thread-safe. A setting whose
// port is not a number throws InvalidPortNumber, and the next call reads the setting again.
const URL& LocalServerURL();
