// SlowBodyRun: a running relay under clients that are slow to send their request bodies, while
// well-behaved clients go on asking it.
//
// RunSlowBodies opens the silent and the trickling connections, each of which sends the head of a POST
// with a "Content-Length" and then, silent, nothing more, or, trickling, one body byte every trickle
// interval (the tricklers spread evenly over the interval). Once the relay has taken them in (it has
// answered a GET of the first checked target, which waits behind them), the run's time begins: for
// the run's duration, it asks each
// checked target with a GET once a second, timing each answer, and samples the relay's thread count
// and resident memory; meanwhile one steady client posts its body at a steady rate. The run notes when
// the relay closed each slow connection. Plug-ins of every road use it with their own targets and
// bodies; the caller judges the result against its own bounds.
//
// Everything runs over loopback; the slow connections take one descriptor each in the test process.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "e2e/relay_process.h"

struct SlowBodyRunOptions {
    std::string slowTarget;  // the target of the slow POSTs
    std::size_t slowContentLength = 1000;
    int silentClients = 500;
    int tricklingClients = 500;
    std::chrono::milliseconds trickleInterval{5000};
    std::chrono::seconds duration{120};
    // GETs made once a second each; an answer must be "200" and complete within the limit.
    std::vector<std::string> checkedTargets;
    std::chrono::milliseconds answerLimit{1000};
    // The steady client's POST; none when the target is empty. The run lasts until it was answered
    // too, or for twice the duration at most.
    std::string steadyTarget;
    std::string steadyBody;
    std::size_t steadyBytesPerSecond = 20 * 1024;
};

struct SlowBodyRunResult {
    int checks = 0;
    // "<second> <target>: <status line, or what went wrong> after <milliseconds> ms", one per check
    // that was late or not answered 200.
    std::vector<std::string> failedChecks;
    long threadsAtStart = 0;  // before the slow clients connected
    long mostThreads = 0;
    long residentKiBAtStart = 0;  // before the slow clients connected
    long residentKiBHolding = 0;  // once the relay has taken the slow clients in
    long mostResidentKiB = 0;
    long residentKiBAtEnd = 0;
    std::chrono::milliseconds takenInAfter{0};  // from the first slow connection to the end of the GET
    int slowAnswered = 0;  // slow connections that got any reply bytes
    int slowStillOpen = 0;  // slow connections the relay had not closed by the end
    std::chrono::milliseconds lastSlowClosedAfter{0};  // from the start of the run's time
    std::string steadyReply;
    std::chrono::milliseconds steadyTook{0};
};

SlowBodyRunResult RunSlowBodies(const RelayProcess& relay, const SlowBodyRunOptions& options);
