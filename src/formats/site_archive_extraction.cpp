#include "formats/site_archive_extraction.h"

#include <memory>
#include <optional>
#include <string>

#include "base/file_name.h"
#include "formats/compressed_file.h"
#include "formats/site_archive.h"
#include "foundation/file_writer.h"
#include "foundation/temporary_files.h"

namespace {

constexpr std::size_t kCopyChunk = 32768;

void StoreMember(DataReader& content, std::uint64_t size, OutputRange buffer, const FileLocation& directory,
                 const std::string& name, bool compress) {
    TemporaryFile file(directory);
    FileDataSink sink(file.GetPath(), 0);
    std::optional<CompressedFileWriter> compressor;
    DataReceiver& target = compress ? compressor.emplace(sink, file.GetLocation()) : static_cast<DataReceiver&>(sink);
    target.Begin();
    ReadSiteArchiveData(content, size, buffer, [&target](ConstData chunk) { target.Receive(chunk); });
    target.End();
    file.ReplaceTo(directory.MakeChild(name.c_str()));
}

}  // namespace

void ExtractSiteArchive(const FileLocation& archive, const FileLocation& directory,
                        const std::function<bool(std::string_view name)>& accept, bool compress) {
    CompressedFileReader content;
    content.Open(archive);
    const auto buffer = std::make_unique_for_overwrite<Byte[]>(kCopyChunk);
    const OutputRange chunks(buffer.get(), kCopyChunk);
    SiteArchiveMemberHead member;
    while (ReadSiteArchiveMemberHead(content, member)) {
        const std::string name = member.difference ? kDifferenceMemberPrefix + member.fileName : member.fileName;
        if (IsValidFileName(name) && accept(name))
            StoreMember(content, member.size, chunks, directory, name, compress);
        else
            ReadSiteArchiveData(content, member.size, chunks);
    }
}
