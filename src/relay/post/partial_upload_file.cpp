#include "relay/post/partial_upload_file.h"

#include <algorithm>
#include <array>

#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "formats/section_reader.h"
#include "platform/file_paths.h"

namespace {

constexpr std::size_t kAppendBufferBytes = 64 * 1024;

}  // namespace

bool PartialUploadFile::Exists() const {
    return FileAttributes(m_location).Exists();
}

std::uint64_t PartialUploadFile::Size() const {
    FileItem item;
    return item.Lookup(m_location) ? item.GetSize() : 0;
}

// Bytes are written as they come rather than gathered first: a range may be as large as the client
// likes. The file is not flushed here; the finished upload is, when it is moved into place.
std::uint64_t PartialUploadFile::Append(DataReader& body, std::uint64_t count, DataReceiver* copy) {
    PosixPlatform::FileWritingPath file;
    file.OpenAlways(m_location);
    std::uint64_t size = file.GetSize();
    SectionReader section(body, count);
    std::array<Byte, kAppendBufferBytes> buffer;
    while (section.HasMore()) {
        OutputRange free(buffer.data(), buffer.size());
        section.ReadSome(free);
        const Byte* const end = free.begin;
        if (end == buffer.data()) continue;
        try {
            file.WriteAt(size, buffer.data(), end);
            if (copy) copy->Receive(buffer.data(), end);
        } catch (...) {
            file.SetLength(size);
            throw;
        }
        size += static_cast<std::uint64_t>(end - buffer.data());
    }
    return size;
}

void PartialUploadFile::Remove() const {
    RemoveFileOrEmptyDirectory(m_location);
}
