// The address of the local server: the machine setting "Hostname" (HKLM "Software\Veltra\Daruravidu
// Server\Installer", a text; default "http://127.0.0.1:52311"). The gather mirror plug-in resolves
// the URLs it hands out against it.
#pragma once

#include "net/url.h"

// Read and parsed on first use and kept for the life of the process; thread-safe. A setting whose
// port is not a number throws InvalidPortNumber, and the next call reads the setting again.
const URL& LocalServerURL();
