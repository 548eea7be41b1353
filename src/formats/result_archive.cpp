#include "formats/result_archive.h"

#include "foundation/endian.h"
#include "foundation/file_reader.h"
#include "platform/file_paths.h"

namespace {

constexpr char kSectionMarker[] = "PRFILE:";
constexpr std::size_t kSectionMarkerLength = sizeof kSectionMarker - 1;
constexpr std::size_t kSectionHeaderLength = kSectionMarkerLength + 8;

std::uint64_t ReadSectionLength(DataReader& reader) {
    Byte header[kSectionHeaderLength];
    reader.ReadInto(header, header + kSectionMarkerLength);
    if (!ConstDataEqual(ConstData(header, kSectionMarkerLength), ConstDataOfCString(kSectionMarker)))
        throw FormatError();
    reader.ReadInto(header + kSectionMarkerLength, header + sizeof header);
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    ConstData length(header + kSectionMarkerLength, header + sizeof header);
    ReadBigEndian32(ReadBigEndian32(length, high), low);
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace

DataReceiver& ResultArchiveWriter::Section(std::uint64_t length) {
    Byte header[kSectionHeaderLength];
    OutputRange output(header, sizeof header);
    CopyIntoOutputRange(output, ConstDataOfCString(kSectionMarker));
    PutUInt64BigEndian(output, length);
    m_target->Receive(header, header + sizeof header);
    return m_appender;
}

// The length comes from the open file itself and the copy stops at it, whatever the file does
// meanwhile: the section header written first must stay true.
void ReadFileInto(ResultArchiveReceiver& receiver, const FileLocation& location) {
    PosixPlatform::FileReadingPath file(location);
    std::uint64_t length = file.GetSize();
    DataReceiver& section = receiver.Section(length);
    section.Begin();
    Byte buffer[4096];
    for (FileReadingLoop loop(OutputRange(buffer, sizeof buffer), file, 0, length); loop.HasChunk();
         loop.Advance())
        section.Receive(loop.Chunk());
    section.End();
}

ResultArchiveSectionReader::ResultArchiveSectionReader(DataReader& reader)
    : SectionReader(reader, ReadSectionLength(reader)) {}

ResultArchiveSectionReader::~ResultArchiveSectionReader() {
    try {
        Byte buffer[4096];
        while (HasMore()) {
            OutputRange free(buffer, sizeof buffer);
            ReadSome(free);
        }
    } catch (...) {
    }
}
