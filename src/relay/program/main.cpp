// kvrrelay: the relay program. See relay/service/nt_service.h for its command line.
#include <iostream>
#include <string>
#include <vector>

#include "platform/debugger_output.h"
#include "relay/program/relay_service_run.h"
#include "relay/service/stop_signal_thread.h"
#include "relay/service/system_service.h"
#include "settings/crash_report.h"

namespace {

// The relay as a service of the system, over systemd.
bool RunRelayService(const std::vector<std::string>& arguments) {
    SystemService service("KVRRelay", "Veltra Daruravidu KVRRelay", RelayServiceRun, RelayServiceStop);
    SystemctlServiceManager manager;
    ServiceHost host{.manager = manager, .out = std::cout};
    return service.Run(arguments, host);
}

}  // namespace

// Stop signals are blocked before any thread starts, so that only the service's signal thread takes
// them. Outside a debugger the run sits in the crash-report guard; what escapes it ends the process.
int main(int argc, char** argv) {
    BlockStopSignals();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool succeeded = PosixPlatform::IsDebuggerAttached()
                               ? RunRelayService(arguments)
                               : RunWithMiniDumpGuard([&] { return RunRelayService(arguments); });
    return succeeded ? 0 : 1;
}
