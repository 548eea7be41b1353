#include "base/critical_log.h"

#include <atomic>

namespace {
// Constant-initialised, so code running during static initialisation sees "no sink" rather than an
// unbuilt object.
std::atomic<CriticalLogSink*> installedSink{nullptr};
}  // namespace

CriticalLogSink* InstallCriticalLogSink(CriticalLogSink* sink) {
    return installedSink.exchange(sink);
}

bool CriticalLogEnabled() {
    CriticalLogSink* sink = installedSink.load();
    return sink && sink->IsCriticalEnabled();
}

void WriteCriticalLog(std::string_view entry) {
    CriticalLogSink* sink = installedSink.load();
    if (sink && sink->IsCriticalEnabled()) sink->WriteCritical(entry);
}
