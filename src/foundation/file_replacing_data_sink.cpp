#include "foundation/file_replacing_data_sink.h"

#include "foundation/file_item.h"

namespace {

constexpr int kOpenAttempts = 6;

}  // namespace

void FileReplacingDataSink::Open(const FileLocation& target, const FileLocation& temporaryFolder) {
    m_temporary.reset();
    m_target = target;
    m_temporaryFolder = temporaryFolder;
}

// A name is made atomically, but opening it may still fail (a file system that is full or goes
// away): each attempt takes a new name.
void FileReplacingDataSink::Begin() {
    m_temporary.reset();
    if (m_target.IsEmpty()) throw EmptyFileLocationError();
    FileLocation folder = m_temporaryFolder.IsEmpty() ? GetContainingFolder(m_target) : m_temporaryFolder;
    for (int attempt = 1;; ++attempt) {
        try {
            m_temporary.emplace(folder);
            break;
        } catch (const FileIOError&) {
            if (attempt == kOpenAttempts) throw;
        }
    }
    m_writer.Attach(m_temporary->GetPath(), 0);
}

void FileReplacingDataSink::Receive(const Byte* begin, const Byte* end) {
    m_writer.Write(begin, end);
}

void FileReplacingDataSink::End() {
    if (m_target.IsEmpty() || !m_temporary) throw EmptyFileLocationError();
    try {
        FileAttributes old(m_target);
        if (old.Exists() && !old.IsDirectory()) m_temporary->GetPath().SetMode(old.Mode());
        m_temporary->ReplaceTo(m_target);
    } catch (...) {
        m_temporary.reset();
        throw;
    }
    m_temporary.reset();
}
