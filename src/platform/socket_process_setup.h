// What the process needs before it serves many sockets: a write to a socket whose peer has gone
// must fail with EPIPE instead of killing the process, and the descriptor limit must be as high as
// the system allows, since every connection, file and draining socket holds one.
#pragma once

namespace PosixPlatform {

// Ignores SIGPIPE and raises the soft RLIMIT_NOFILE to the hard limit. Safe to call more than once;
// a limit that can't be raised is left as it is.
void PrepareProcessForSockets();

}  // namespace PosixPlatform
