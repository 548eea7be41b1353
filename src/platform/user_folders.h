// Where a program's own files for its user go: the running program's path, whether the process runs
// as the service account, and the user's state folder (what Windows calls the local application-data
// folder). Every function may be called from any thread.
#pragma once

#include <string>

namespace PosixPlatform {

// The full path of the running program; empty when it cannot be read.
std::string RunningProgramPath();
// True when the process runs as root, the account the relay's service runs under; its files go to
// the service's working folder rather than to a user's folders.
bool IsServiceAccount();
// $XDG_STATE_HOME when it is set to an absolute path, else <home>/.local/state with the home from
// $HOME or, when that is unset, the password database; empty when there is no home. The folder may
// not exist yet.
std::string UserStateFolder();

}  // namespace PosixPlatform
