#include "relay/post/report_files.h"

PostResultsCollectionDirectoryWriter::PostResultsCollectionDirectoryWriter(
    const FileLocation& bufferFile, const OptionalFileLocation& carbonCopyFile,
    const FileLocation& temporaryDirectory)
    : m_bufferFile(bufferFile, temporaryDirectory) {
    if (!carbonCopyFile) {
        SetTargets(m_bufferFile, IgnoreDataReceiver::Instance());
        return;
    }
    m_carbonCopyFile.Open(*carbonCopyFile, temporaryDirectory);
    SetTargets(m_bufferFile, m_carbonCopyFile);
}

std::unique_ptr<DataReceiver> ReportFiles::NewForwardingReport() {
    return std::make_unique<FileReplacingDataSink>(m_locations.GetNextForwardingFile(),
                                                   m_locations.GetTemporaryDirectory());
}

std::unique_ptr<DataReceiver> ReportFiles::NewBufferReport() {
    const FileLocation bufferFile = m_locations.GetNextBufferFile();
    OptionalFileLocation carbonCopyFile;
    if (const OptionalFileLocation carbonCopies = m_locations.GetCarbonCopyDirectory())
        carbonCopyFile = FileLocation(*carbonCopies, bufferFile.GetName());
    return std::make_unique<PostResultsCollectionDirectoryWriter>(bufferFile, carbonCopyFile,
                                                                  m_locations.GetTemporaryDirectory());
}
