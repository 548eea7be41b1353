// TimingScope: times a block and writes nested "Entering <name>" and "Exiting <name> (<n> ms)" lines to
// the log category "timing", indented by two spaces per enclosing timed scope of the same thread:
//
//     {
//         TimingScope timing("ProcessEncryptedReport");
//         ...
//     }
//
// Nothing is composed while "timing" is disabled; the nesting depth is kept all the same. A scope is
// used on the thread that built it; each thread has its own depth.
#pragma once

#include <string>

#include "foundation/stopwatch.h"

class TimingScope {
  public:
    explicit TimingScope(const char* name);
    ~TimingScope();
    TimingScope(const TimingScope&) = delete;
    TimingScope& operator=(const TimingScope&) = delete;

  private:
    std::string m_name;
    Stopwatch m_stopwatch;
};
