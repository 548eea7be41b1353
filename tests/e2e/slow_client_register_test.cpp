// Clients slow to send their request bodies to the client-register plug-in of a running relay: they
// must never keep other clients from registering.
//
// The run is short by default, with a read time-out of 10 s; KVR_SLOW_BODY_RUN=full runs it as an
// administrator would meet it: two minutes, the default read time-out of 60 s, and a steady client
// that posts 1 MiB at 20 KiB/s.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "e2e/relay_process.h"
#include "e2e/slow_body_run.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
constexpr long kThreadLimit = 250;

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// A sequence update of about `size` bytes, for computers the relay does not know.
std::string SequenceUpdateOfSize(std::size_t size) {
    const std::uint32_t records = static_cast<std::uint32_t>((size - 25) / 8);
    std::string body = "KVRSequenceUpdate 1.0" + BigEndian32(records);
    for (std::uint32_t i = 0; i < records; ++i) body += BigEndian32(1'000'000 + i) + BigEndian32(1);
    return body;
}

bool FullRun() {
    const char* run = std::getenv("KVR_SLOW_BODY_RUN");
    return run != nullptr && std::string(run) == "full";
}

// The log lines that end with the text.
std::size_t CountLinesEndingWith(const std::string& log, const std::string& end) {
    std::size_t count = 0;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.ends_with('\r')) line.pop_back();
        if (line.ends_with(end)) ++count;
    }
    return count;
}

// Sets an environment variable for the programs started while it lives.
class ScopedEnvironmentVariable {
  public:
    ScopedEnvironmentVariable(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironmentVariable() {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }

  private:
    const char* m_name;
    std::optional<std::string> m_old;
};

}  // namespace

// 500 clients send the head of a sequence update and nothing more, 500 send one body byte every 5 s.
// Meanwhile GetComputerID and the probe file are answered within a second every second, the relay's
// threads stay within the plug-in's thread limit of its own, its memory stays flat, and every slow
// connection is closed within the read time-out plus one rate window, each with one "debug" line.
// A client that posts its body steadily at 20 KiB/s is answered.
TEST(SlowClientRegisterTest, SlowBodiesNeverKeepOtherClientsFromRegistering) {
    const bool full = FullRun();
    const std::chrono::seconds readTimeOut = full ? 60s : 10s;
    RelayProcess relay;
    if (!full) relay.SetClientSetting("_KVRRelay_HTTPServer_ReadTimeOut", std::to_string(readTimeOut.count()));
    relay.SetClientSetting("_KVRRelay_Log_Verbose", "1");
    {
        // A sanitizer build keeps freed memory aside for a while, which would read as growth.
        const char* sanitizer = std::getenv("ASAN_OPTIONS");
        ScopedEnvironmentVariable options("ASAN_OPTIONS", std::string(sanitizer ? sanitizer : "") +
                                                              ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0");
        relay.Start();
    }
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();

    SlowBodyRunOptions options;
    options.slowTarget = std::string(kPath) + "?RequestType=UpdateSequenceNumbers";
    options.duration = full ? 120s : 30s;
    options.checkedTargets = {std::string(kPath) + "?RequestType=GetComputerID", "/vtmirror/downloads/0"};
    options.steadyTarget = options.slowTarget;
    options.steadyBody = SequenceUpdateOfSize(full ? 1024 * 1024 : 512 * 1024);
    const SlowBodyRunResult result = RunSlowBodies(relay, options);

    EXPECT_GE(result.checks, 2 * static_cast<int>(options.duration.count()));
    EXPECT_EQ(result.failedChecks, std::vector<std::string>());
    EXPECT_LE(result.mostThreads, result.threadsAtStart + kThreadLimit);
    EXPECT_LE(result.mostResidentKiB, result.residentKiBHolding + 4 * 1024);
    EXPECT_EQ(result.slowAnswered, 0);
    EXPECT_EQ(result.slowStillOpen, 0);
    EXPECT_LE(result.lastSlowClosedAfter, 2 * readTimeOut + 5s);
    EXPECT_NE(result.steadyReply.find("Sequence number update successful."), std::string::npos)
        << result.steadyReply;
    std::printf("taken in after %lld ms; threads %ld, most %ld; resident KiB %ld, holding %ld, most %ld, end %ld; "
                "slow closed after %lld ms; steady answered after %lld ms\n",
                static_cast<long long>(result.takenInAfter.count()), result.threadsAtStart, result.mostThreads,
                result.residentKiBAtStart, result.residentKiBHolding, result.mostResidentKiB,
                result.residentKiBAtEnd, static_cast<long long>(result.lastSlowClosedAfter.count()),
                static_cast<long long>(result.steadyTook.count()));

    const std::string log = relay.Log();
    EXPECT_EQ(CountLinesEndingWith(log, "Closing HTTP connection on 127.0.0.1: request body slower than 1024 bytes per second"),
              static_cast<std::size_t>(options.tricklingClients));
    EXPECT_EQ(CountLinesEndingWith(
                  log, "Closing HTTP connection on 127.0.0.1: no request body bytes for longer than the read time-out"),
              static_cast<std::size_t>(options.silentClients));
    EXPECT_EQ(relay.Stop(), 0);
}
