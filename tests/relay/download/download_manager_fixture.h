// A download manager as start-up builds it, over the test's own settings and state database, with
// collaborators of the test's: a downloader that copies from a folder laid out as a parent relay's
// server root, a notifier that records its pings, download plug-ins for "plugin:" URLs whose outcome
// the test reports, and an upstream requester that records what it is asked.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "crypto/openssl_startup.h"
#include "foundation/file_operations.h"
#include "relay/download/download_files.h"
#include "relay/download/download_source_sequence.h"
#include "relay/download/download_test_support.h"
#include "relay/download/service_download_manager.h"

// The parent the downloader copies from: http://parent/<path> is the file <folder>/<path>.
inline const std::string kTestParentURL = "http://parent/";

// Copies each target from the parent folder, at the place DownloadSourceSequence gives first, and
// reports the outcome. On the calling thread at once; with `hold` set on a worker of the manager's
// thread group that waits until `release` is set (then copies) or the manager interrupts it (then
// reports it suspended). With `refuse` set it throws DownloadNotStarted; with `stopOnStart` set it
// sets that event first.
class ParentFolderDownloader : public Downloader {
  public:
    ParentFolderDownloader(ServiceDownloadManager& manager, const DownloadSettingsProvider& settings,
                           std::string parentFolder)
        : m_manager(manager), m_settings(settings), m_parentFolder(std::move(parentFolder)) {}

    void Download(const DownloadRequestTarget& target, const FileLocation& location, ThreadGroup& threads,
                  ThreadInterruptor& interruptor) override {
        if (stopOnStart) stopOnStart->Set();
        if (refuse) throw DownloadNotStarted();
        started.push_back(downloadRequestTargetText(target));
        if (!hold) {
            Copy(target, location);
            return;
        }
        threads.Start([this, target, location, &interruptor] {
            try {
                while (!release) {
                    interruptor.CheckForInterruption();
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                Copy(target, location);
            } catch (const StopRequest&) {
                m_manager.ReportSuspended(target);
            }
        });
    }

    // The texts of the targets started, in order.
    std::vector<std::string> started;
    bool hold = false;
    std::atomic<bool> release{false};
    bool refuse = false;
    Event* stopOnStart = nullptr;

  private:
    void Copy(const DownloadRequestTarget& target, const FileLocation& location) {
        const std::string url = DownloadSourceSequence(target, m_settings, kTestParentURL).Current();
        const std::string source = m_parentFolder + "/" + url.substr(kTestParentURL.size());
        if (!std::filesystem::is_regular_file(source)) {
            m_manager.ReportFailure(target, {DownloadErrorKind::Generic, "No such file: " + url});
            return;
        }
        std::filesystem::copy_file(source, location.GetPathString(),
                                   std::filesystem::copy_options::overwrite_existing);
        m_manager.ReportSuccess(target);
    }

    ServiceDownloadManager& m_manager;
    const DownloadSettingsProvider& m_settings;
    std::string m_parentFolder;
};

class RecordingNotifier : public ClientNotifier {
  public:
    void NotifyFromData(const DigestRecord& digest) override { sha1Pings.push_back(digest.ToHex()); }
    void NotifyWithNumber(std::uint32_t actionID) override { actionPings.push_back(actionID); }

    std::vector<std::string> sha1Pings;
    std::vector<std::uint32_t> actionPings;
};

// Plug-ins for every "plugin:" URL; the test reports each batched target's outcome. StopAll reports
// the batched targets suspended.
class RecordingPlugins : public DownloadPlugins {
  public:
    explicit RecordingPlugins(ServiceDownloadManager& manager) : m_manager(manager) {}

    bool HasPluginForURL(const std::string& url) override { return url.starts_with("plugin:"); }
    void AddToBatch(const DownloadRequestTarget& target, const FileLocation&) override { batch.push_back(target); }
    void StartBatches() override {}
    void StopAll() override {
        for (const DownloadRequestTarget& target : batch) m_manager.ReportSuspended(target);
        batch.clear();
    }

    std::vector<DownloadRequestTarget> batch;

  private:
    ServiceDownloadManager& m_manager;
};

class RecordingUpstreamRequester : public UpstreamDownloadRequester {
  public:
    void RequestDownloads(const std::vector<DownloadRequestTarget>& targets, ThreadGroup&,
                          ThreadInterruptor&) override {
        std::vector<std::string> texts;
        for (const DownloadRequestTarget& target : targets) texts.push_back(downloadRequestTargetText(target));
        requests.push_back(texts);
    }

    std::vector<std::vector<std::string>> requests;
};

class DownloadManagerFixture : public DownloadSettingsFixture {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    DownloadManagerFixture() {
        OpenDownloadStateDatabase(m_settings);
        m_state = std::make_unique<DownloadState>(m_settings);
        m_manager = std::make_unique<ServiceDownloadManager>(m_settings, m_stop, [this] { return m_now; });
        m_requestFiles =
            std::make_unique<DownloadRequestFileProcessor>(m_settings, m_settings.GetInboxFolder(), m_stop);
        m_downloader = std::make_unique<ParentFolderDownloader>(*m_manager, m_settings, m_folder / "parent");
        m_plugins = std::make_unique<RecordingPlugins>(*m_manager);
        m_manager->SetCollaborators({
            .upstreamRequester = m_upstream,
            .downloader = *m_downloader,
            .notifier = m_notifier,
            .plugins = *m_plugins,
            .requestFiles = *m_requestFiles,
        });
    }

    // The manager goes first: it joins the workers of the downloader, which they use.
    ~DownloadManagerFixture() override { m_manager.reset(); }

    ServiceDownloadManager& Manager() { return *m_manager; }
    ParentFolderDownloader& Downloader() { return *m_downloader; }

    // Work passes until the condition holds after one; false after ten seconds.
    bool WorkUntil(const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            Manager().DoWork();
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // A file at the parent, by its path below "vtmirror/downloads".
    void AtParent(const std::string& path, const std::string& content) {
        WriteAgedFile(m_folder / ("parent/vtmirror/downloads/" + path), content, 0);
    }
    std::string Downloads(const std::string& path) const {
        return m_settings.GetDownloadsFolder().GetPathString() + "/" + path;
    }
    void InSha1Folder(const std::string& content) { WriteAgedFile(Downloads("sha1/" + Sha1Of(content).ToHex()), content, 0); }

    // The target's state name, "none" without a row.
    std::string StateOf(const DownloadRequestTarget& target) {
        const std::optional<DownloadStateRecord> row = m_state->GetState(target);
        return row ? DownloadStateName(row->status) : "none";
    }
    void Put(const DownloadRequestTarget& target, DownloadStateStatus status, TimeValue lastUpdate) {
        DownloadStateRecord record;
        record.status = status;
        record.lastUpdate = lastUpdate;
        m_state->SetState(target, record);
    }

    Event m_stop;
    std::int64_t m_now = 1'000'000'000'000;
    std::unique_ptr<DownloadState> m_state;
    RecordingNotifier m_notifier;
    RecordingUpstreamRequester m_upstream;
    std::unique_ptr<ServiceDownloadManager> m_manager;
    std::unique_ptr<DownloadRequestFileProcessor> m_requestFiles;
    std::unique_ptr<ParentFolderDownloader> m_downloader;
    std::unique_ptr<RecordingPlugins> m_plugins;
};
