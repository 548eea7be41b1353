// RelayProcess: one real relay program (kvrrelay -d) for an end-to-end test, with a working folder,
// a registry (VELTRA_REGISTRY_DIR) and a port of its own, reserved (support/port_reservation.h) for
// as long as the object lives. Its settings are those of a fresh machine
// as scripts/run makes them: "StoragePath" in the working folder, the agent's FIPS setting "none" and
// "wwwRootFolder" the served "wwwroot", so that mirrored sites are served; plus the port, "Hostname"
// (the base of the URLs the relay hands out) on that port and an internet connectivity test on
// loopback. The test adds what it needs before Start.
//
// The relay writes its log to "logfile.txt" in the working folder and its console lines to
// "console.txt". A relay still running when the object goes is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "support/port_reservation.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

class RelayProcess {
  public:
    RelayProcess();
    ~RelayProcess();
    RelayProcess(const RelayProcess&) = delete;
    RelayProcess& operator=(const RelayProcess&) = delete;

    // Applies REGEDIT4 keys and values to the relay's registry with kvrreg.
    void Import(const std::string& keysAndValues);
    // A named client setting ("_KVRRelay_HTTPServer_PortNumber" and so on).
    void SetClientSetting(const std::string& name, const std::string& value);
    void RemoveStoragePath();
    // A value of the relay's registry as `kvrreg get` prints it, without the line end; empty when
    // missing.
    std::string Read(const std::string& key, const std::string& value);

    void Start();
    // Waits until the probe path answers "A"; false when the relay ended or the time ran out. A relay
    // that logs its port already in use (taken by someone who reserved nothing) is stopped and
    // started again on a newly reserved port, at most kPortInUseRestarts times, each start with the
    // whole limit; each restart is said on standard error, and the earlier run's log and console
    // are kept as "logfile-port-<old port>.txt" and "console-port-<old port>.txt". Port() is
    // final only once the probe answered.
    bool AwaitProbe(std::chrono::milliseconds limit = std::chrono::seconds(60));
    // The whole reply to a GET of the path over loopback; empty when nothing answers. The reply is
    // cut where the connection or a wait for more of it takes longer than `limit`.
    std::string Get(const std::string& path, std::chrono::milliseconds limit = std::chrono::seconds(60)) const;
    // The same with header lines of the caller's (each ending in "\r\n") after "Host".
    std::string Get(const std::string& path, const std::string& headers,
                    std::chrono::milliseconds limit = std::chrono::seconds(60)) const;
    // The same for a POST of the body (with its Content-Length).
    std::string Post(const std::string& path, const std::string& body,
                     std::chrono::milliseconds limit = std::chrono::seconds(60)) const;
    // Sends SIGTERM and waits for the exit status (SIGKILL after the limit).
    int Stop(std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Sends SIGKILL and waits for the process to end: a crash, with nothing written on the way out.
    void Kill();
    // Waits for the relay to end on its own.
    int AwaitExit(std::chrono::milliseconds limit);
    bool IsRunning() const;

    std::uint16_t Port() const { return m_port.Port(); }
    // The relay's process id while it runs.
    pid_t Pid() const { return m_pid; }
    std::string Folder() const { return m_folder.Path(); }
    std::string Log() const;
    std::string Console() const;
    std::string RegistryFolder() const { return m_registry.Folder(); }
    // Waits until the log holds the text; false when the time ran out.
    bool AwaitLogLine(const std::string& text, std::chrono::milliseconds limit = std::chrono::seconds(20)) const;

    static constexpr int kPortInUseRestarts = 3;

  private:
    void SetHostname();
    bool LoggedPortInUse() const;
    std::string Exchange(const std::string& request, std::chrono::milliseconds limit) const;
    void RestartOnANewPort(int restart);

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    PortReservation m_port;
    pid_t m_pid = -1;
};
