#include "relay/download/download_report_cache.h"

#include <utility>

#include "foundation/interruptor.h"
#include "foundation/log_manager.h"
#include "relay/download/download_report.h"

DownloadReportCache::DownloadReportCache(Builder builder, Clock clock)
    : m_builder(std::move(builder)), m_clock(std::move(clock)) {}

std::string DownloadReportCache::Text(Form form) {
    CriticalSectionGuard guard(m_lock);
    if (!m_report) {
        const std::int64_t start = m_clock();
        Store(m_builder(), start);
    } else if (m_clock() - m_builtAt > RefreshInterval() && !m_rebuilding) {
        // Started under the lock: the group has one user at a time, as it requires.
        m_rebuilds.Start([this] { Rebuild(); });
        m_rebuilding = true;
    }
    return form == Form::Plain ? m_report->plain : m_report->compressed;
}

std::int64_t DownloadReportCache::RefreshInterval() const {
    return m_buildDuration > kMinimumRefreshInterval ? 2 * m_buildDuration : kMinimumRefreshInterval;
}

void DownloadReportCache::Store(XMLDownloadReport report, std::int64_t buildStart) {
    m_report = std::move(report);
    m_builtAt = m_clock();
    m_buildDuration = m_builtAt - buildStart;
}

void DownloadReportCache::Rebuild() {
    try {
        const std::int64_t start = m_clock();
        XMLDownloadReport report = m_builder();
        CriticalSectionGuard guard(m_lock);
        Store(std::move(report), start);
    } catch (const StopRequest&) {
    } catch (...) {
        KVR_LOG("critical") << "Download report rebuild failed: " << CurrentExceptionText();
    }
    CriticalSectionGuard guard(m_lock);
    m_rebuilding = false;
}

void SendTextDownloadReport(ClientWriter& writer, DownloadReportCache::Form form,
                            DownloadReportCache& cache) {
    const std::string body = cache.Text(form);
    writer.Receive(ConstData(DownloadReportHead("text/plain")));
    writer.Receive(ConstData(body));
    writer.End();
}
