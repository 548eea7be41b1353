#include "relay/download/download_plugin_process.h"

#include <utility>

#include "foundation/log_manager.h"
#include "foundation/whole_file.h"
#include "platform/trusted_program.h"

DownloadPluginProcess::DownloadPluginProcess(std::uint64_t processID, std::string protocol,
                                             PluginDownloads downloads)
    : m_processID(processID), m_protocol(std::move(protocol)), m_downloads(std::move(downloads)) {}

// The program was checked when it was registered; it is checked again because its file or folder may
// have changed since.
void DownloadPluginProcess::Start(const std::string& program, const FileLocation& inboxFolder) {
    PosixPlatform::RequireTrustedProgram(program);
    const TemporaryFileLocation downloadsFile;
    const std::string text = DownloadPluginDownloadsText(m_processID, inboxFolder, m_downloads);
    WriteWholeFile(ConstData(text), downloadsFile.GetLocation());
    m_downloadsFile = downloadsFile;

    // The argument vector carries the path whole, so it needs no quotation marks.
    const std::string argument = "--downloads=" + downloadsFile.GetLocation().GetPathString();
    KVR_LOG("debug") << "DownloadPluginProcess: About to run plugin " << program << " with argument "
                     << argument;
    m_program = std::make_shared<PosixPlatform::StartedChildProcess>(
        PosixPlatform::StartedChildProcess::Start(program, {argument}));
}

bool DownloadPluginProcess::IsRunning() {
    return m_program && m_program->IsRunning();
}

void DownloadPluginProcess::Terminate() {
    if (m_program) m_program->Kill();
}
