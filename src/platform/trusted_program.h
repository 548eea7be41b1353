// Whether the relay may run a program file that someone named to it (a download plug-in): only a
// program that nobody but root and the relay's own user can change.
//
// A program is trusted when its path is absolute, names a regular file (not a symbolic link), and both
// that file and the folder holding it (a real folder, not a link) are owned by root or by the user the
// relay runs as and are writable by neither their group nor others. Anyone else able to change the file,
// or to put another file in its place, could have the relay run their code.
//
// The check looks at the file system as it is when called; callers check again before each run.
// Safe to call from any thread.
#pragma once

#include <string>

#include "base/exceptions.h"

namespace PosixPlatform {

// Its text names the path and what is wrong with it.
class UntrustedProgram : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// Throws UntrustedProgram when the program at `path` is not trusted, or cannot be looked at.
void RequireTrustedProgram(const std::string& path);

}  // namespace PosixPlatform
