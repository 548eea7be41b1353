// The service frame: CNTService is the relay as a system service, on Linux a systemd unit. It reads
// the command line, installs and removes the unit, starts and stops the service through the service
// manager, and runs the service in the foreground with SIGTERM and SIGINT as its stop requests.
// MyNTService gives it the relay's run and stop routines.
//
// Command line (the words after the program name, left to right): a word is an option only when it
// is "-" and one letter; other words are skipped.
//   -i  install (the last of -i, -u, -s, -e wins)    -l ACCOUNT  the unit's User= (the word is consumed)
//   -u  remove                                         -p PASSWORD not used on Linux (consumed; a warning)
//   -s  start                                          -d          run in the console at once; later
//   -e  stop                                                       words are not read
// "-l" or "-p" as the last word leaves the account or password unset. Under a debugger (a tracer
// attached) the console run starts whatever the options say. Without an action the process must
// have been started by systemd (INVOCATION_ID in the environment): it then runs in the foreground;
// started by hand it writes the error to syslog and standard error and fails.
//
// Install writes "<unit folder>/kvrrelay.service" (the relay in the foreground, User= from -l,
// WorkingDirectory "/var/lib/kvrrelay", Restart=on-failure), reloads systemd and enables the unit;
// Remove stops the service, disables and deletes the unit; Start and Stop ask systemd and print a
// dot a second while the service is on its way. Each prints the lines a user of the command expects
// ("Veltra Daruravidu KVRRelay installed." ...); a failure prints its reason and yields false.
//
// Every result is true for success and false for failure (the process exits 0 or 1). Events go to
// syslog, ident "KVRRelay". The run and stop routines run inside the crash-report guard; an
// exception from them is written to syslog and fails the run.
#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "relay/service/service_manager.h"

// What the command line asks for.
struct ServiceCommandLine {
    enum class Action { Dispatch, Install, Remove, Start, Stop, RunInConsole };
    Action action = Action::Dispatch;
    std::string account;   // -l, empty when not given
    std::string password;  // -p, empty when not given
};

ServiceCommandLine ParseServiceCommandLine(const std::vector<std::string>& arguments);

// Where the frame finds what it drives; tests give their own.
struct ServiceHost {
    ServiceManager& manager;
    std::string unitFolder = "/etc/systemd/system";
    std::string workingFolder = "/var/lib/kvrrelay";
    std::ostream& out;
    // The time between two looks at a service on its way up or down, in milliseconds.
    unsigned pollMilliseconds = 1000;
};

class CNTService {
  public:
    CNTService(const char* serviceName, const char* displayName, ServiceHost& host);
    virtual ~CNTService() = default;
    CNTService(const CNTService&) = delete;
    CNTService& operator=(const CNTService&) = delete;

    // Runs what the command line asks; true on success.
    bool ProcessCommandLine(const std::vector<std::string>& arguments);

    // The service's work, on the calling thread, and its stop request, from another thread.
    virtual bool Run() = 0;
    virtual void Stop() = 0;

    bool StartDispatcher();
    bool Install(const ServiceCommandLine& commandLine);
    bool Remove();
    bool StartService();
    bool StopService();
    bool RunInConsole();
    // Writes the text to syslog with the priority of the type: 1 error, 2 warning, else information.
    void LogEvent(const std::string& text, int type);

    // "kvrrelay.service": the service name in lower case.
    std::string UnitName() const;
    std::string UnitPath() const { return m_host.unitFolder + "/" + UnitName(); }
    // The unit file's text for the program at `programPath`.
    std::string UnitText(const std::string& programPath, const std::string& account) const;

  private:
    // Runs the service in the foreground, with the stop signals taken by a thread of their own.
    bool RunInForeground(bool console);
    // "systemctl is-active" of the unit: "active", "activating", "deactivating", "inactive", "failed".
    std::string QueryState();
    // Waits while the unit is in one of the `passing` states, a dot a period, 30 periods at most;
    // answers the state it reached.
    std::string AwaitStateChange(std::initializer_list<const char*> passing);
    // Asks systemd to stop the unit and waits; true when it ended stopped.
    bool StopAndWait();
    bool Systemctl(const std::vector<std::string>& arguments, std::string& error);

    std::string m_serviceName;
    std::string m_displayName;
    ServiceHost& m_host;
};

// The relay's service: the run and stop routines it was given.
class MyNTService : public CNTService {
  public:
    using Routine = bool (*)();
    using StopRoutine = void (*)();

    MyNTService(const char* serviceName, const char* displayName, ServiceHost& host, Routine run,
                StopRoutine stop)
        : CNTService(serviceName, displayName, host), m_run(run), m_stop(stop) {}

    bool Run() override;
    void Stop() override;

  private:
    Routine m_run;
    StopRoutine m_stop;
};
