#include "platform/socket_process_setup.h"

#include <sys/resource.h>

#include <csignal>

namespace PosixPlatform {

void PrepareProcessForSockets() {
    // Sends use MSG_NOSIGNAL, but a TLS library writing to the descriptor itself does not.
    std::signal(SIGPIPE, SIG_IGN);

    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace PosixPlatform
