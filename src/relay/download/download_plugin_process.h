// DownloadPluginProcess: one batch of downloads handed to a download plug-in program, from its start
// until every download has its outcome: the process id that names it in the plug-in's messages, the
// URL protocol, the downloads still outstanding, the started program and its downloads file
// (download_plugin_downloads_file.h).
//
// The downloads file is a temporary file "veltra...tmp" in the system temporary folder (mode 0600,
// readable by the plug-in, which runs as the relay's user); it is deleted when the entry goes. The
// started program is shared, so that the plug-in manager can keep watching a program whose entry went
// while it still runs, and reap it once it ends.
//
// Owned by the plug-in manager and used on its thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/file_location.h"
#include "foundation/temporary_files.h"
#include "platform/child_process.h"
#include "relay/download/download_plugin_downloads_file.h"

class DownloadPluginProcess {
  public:
    DownloadPluginProcess(std::uint64_t processID, std::string protocol, PluginDownloads downloads);

    // Checks the program again (PosixPlatform::RequireTrustedProgram: UntrustedProgram), writes the
    // downloads file naming `inboxFolder` and starts the program with the one argument
    // "--downloads=<downloads file>" (StartedChildProcess: Posix::Error when it cannot run).
    void Start(const std::string& program, const FileLocation& inboxFolder);

    // True while a started program runs; false before a successful start and once it has ended (it is
    // reaped then). Never waits.
    bool IsRunning();
    // Kills a started program that has not been reaped, and reaps it.
    void Terminate();

    std::uint64_t GetID() const { return m_processID; }
    const std::string& GetProtocol() const { return m_protocol; }
    // The downloads without an outcome yet, by download id.
    PluginDownloads& GetOutstandingDownloads() { return m_downloads; }
    // The started program, or null before a successful start.
    const std::shared_ptr<PosixPlatform::StartedChildProcess>& GetProgram() const { return m_program; }

    bool IsDead() const { return m_dead; }
    void MarkDead() { m_dead = true; }

  private:
    bool m_dead = false;
    std::uint64_t m_processID;
    std::string m_protocol;
    PluginDownloads m_downloads;
    std::shared_ptr<PosixPlatform::StartedChildProcess> m_program;
    std::optional<TemporaryFileLocation> m_downloadsFile;
};
