// DownloadPluginManager: the external download plug-ins, programs registered per URL protocol that
// fetch the downloads the relay's own downloader cannot.
//
// Registration, removal and progress arrive as "plugin_*" messages in the relay's inbox folder
// (download_plugin_message.h); registrations are kept in "DownloadPlugins.db"
// (download_plugin_registry.h). The download manager hands the targets whose URL protocol has a
// plug-in to AddToBatch during its start pass and calls StartBatches at its end: every protocol's
// batch goes to one new run of its program (DownloadPluginProcess), which writes each file where its
// downloads file says and reports through "status" messages naming its process id. The outcome of
// every download reaches the download manager's completion inbox exactly once:
//
//   "status" record, success        ReportSuccess
//   "status" record, failure        ReportFailure with the record's "error" ("No error specified")
//   program ended, download unnamed ReportFailure "The download plugin exited unexpectedly"
//   program could not be started    ReportFailure with the start failure's text
//   protocol removed before start   ReportFailure "The download plugin has been deleted."
//   protocol removed while running  ReportSuspended (the program is killed)
//   StopAll                         ReportSuspended (running programs are killed)
//   still pending at StopAll        ReportSuspended
//
// Every error is of kind Generic. A running program is not waited for: each pass of the driving loop
// marks the programs that have ended (MarkDeadPlugins), applies the inbox's messages, then fails what
// the dead ones left unreported (SweepDeadPlugins), so a plug-in's last status file, written just
// before it exits, still counts. A program whose entry goes while it still runs (its last status came
// first) is watched until it ends, so that it is reaped: no zombie is left.
//
// Security: a registered program runs as the relay's user, so whoever can register one can run code
// as the relay. The inbox folder is kept at mode 0700, and an "add" is accepted only for a program that
// nobody but root and the relay's user can change (platform/trusted_program.h); the check is repeated
// before every start, and a program that fails it fails its batch with the reason.
//
// Built once at start-up; after that every call comes from one thread, the one that drives the
// download manager's work pass (which calls HasPluginForURL, AddToBatch and StartBatches itself).
// Nothing is locked.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/file_location.h"
#include "platform/child_process.h"
#include "relay/download/download_completion_reports.h"
#include "relay/download/download_plugin_downloads_file.h"
#include "relay/download/download_plugin_message.h"
#include "relay/download/download_plugin_process.h"
#include "relay/download/download_plugin_registry.h"
#include "relay/download/download_plugins.h"
#include "relay/service/download_settings_provider.h"

// What became of one inbox message file.
enum class PluginFileResult {
    Done,               // applied or discarded: the file may go
    StillBeingWritten,  // does not parse yet and was written within kUnsettledMessageAge: leave it
};

class DownloadPluginManager : public DownloadPlugins {
  public:
    // A message file that does not parse is taken for one still being written for this long after its
    // last write, and left for a later pass.
    static constexpr std::int64_t kUnsettledMessageAge = 5'000'000;
    static constexpr unsigned kInboxFolderMode = 0700;

    // Creates the inbox folder when missing and sets it to mode 0700, and opens the registry
    // (DownloadPluginException for a database of another version, SQLite::Error, the file errors).
    // Process ids start at the current time in whole seconds, so they differ between runs. The reports
    // receiver must outlive the manager.
    static DownloadPluginManager Open(const DownloadSettingsProvider& settings,
                                      const FileLocation& inboxFolder, DownloadCompletionReports& reports);
    // Kills the programs still running, reporting nothing: StopAll has normally ended them already,
    // and a relay that goes without it leaves no plug-in behind.
    ~DownloadPluginManager() override;
    DownloadPluginManager(const DownloadPluginManager&) = delete;
    DownloadPluginManager& operator=(const DownloadPluginManager&) = delete;

    // True when the URL has a scheme and a plug-in is registered for it.
    bool HasPluginForURL(const std::string& url) override;
    // Adds the target (its file to be written at `destination`) to the batch of its URL's scheme.
    void AddToBatch(const DownloadRequestTarget& target, const FileLocation& destination) override;
    // Starts one program per pending batch, in protocol order, and empties the batches.
    void StartBatches() override;
    // Kills every running program and reports its outstanding downloads, and those of the pending
    // batches, suspended. Programs that outlived their entries are killed too: none is left behind.
    void StopAll() override;

    // Reads and applies one "plugin_*" message. Throws what makes the file a failed one: the file
    // errors, a file that is a link or no regular file (NotARegularPluginFile), a text that does not
    // parse and was written more than kUnsettledMessageAge ago (InvalidJSON and the parser's other
    // failures), the message reader's errors, an "add" of an untrusted program
    // (PosixPlatform::UntrustedProgram), SQLite::Error.
    PluginFileResult ProcessPluginFile(const FileLocation& file);
    // Marks the entries whose program is not running (never started, or ended) as dead, and reaps the
    // programs that outlived their entries.
    void MarkDeadPlugins();
    // Fails the outstanding downloads of the dead entries and removes them.
    void SweepDeadPlugins();

  private:
    using Processes = std::map<std::uint64_t, DownloadPluginProcess>;

    DownloadPluginManager(const DownloadSettingsProvider& settings, const FileLocation& inboxFolder,
                          DownloadCompletionReports& reports);

    void AddPlugin(const std::string& protocol, const std::string& location);
    void RemovePlugin(const std::string& protocol);
    void ApplyStatus(const DownloadPluginMessage& message);
    void StartBatch(const std::string& protocol, PluginDownloads downloads);
    void ReportAllFailed(const PluginDownloads& downloads, const std::string& text);
    void ReportAllSuspended(const PluginDownloads& downloads);
    // Removes the entry; a program still running is watched until it ends.
    void RemoveEntry(Processes::iterator entry);

    FileLocation m_inboxFolder;
    DownloadCompletionReports& m_reports;
    DownloadPluginRegistry m_registry;
    std::map<std::string, PluginDownloads> m_batches;  // by protocol
    Processes m_processes;                             // by process id
    std::vector<std::shared_ptr<PosixPlatform::StartedChildProcess>> m_endingPrograms;
    std::uint64_t m_nextDownloadID = 0;
    std::uint64_t m_nextProcessID;
};

// A "plugin_*" entry that is a symbolic link or no regular file; the text names it.
class NotARegularPluginFile : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};
