#include "formats/entry_archive.h"

#include <algorithm>

#include "base/character_classes.h"
#include "formats/compressed_file.h"
#include "formats/push_back_data_reader.h"
#include "formats/section_reader.h"
#include "foundation/endian.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_reader.h"
#include "foundation/file_replacing_data_sink.h"
#include "foundation/time_parser.h"

namespace {

constexpr Byte kFourByteSizeType = '_';
constexpr Byte kEightByteSizeType = '1';
constexpr std::size_t kCopyBufferSize = 16384;

std::uint64_t ReadLittleEndianSize(DataReader& reader, std::size_t length) {
    Byte bytes[8];
    reader.ReadInto(bytes, bytes + length);
    std::uint64_t size = 0;
    for (std::size_t i = length; i-- > 0;) size = (size << 8) | bytes[i];
    return size;
}

struct Entry {
    Byte name[255];
    std::size_t nameLength = 0;
    Byte time[255];
    std::size_t timeLength = 0;
    std::uint64_t size = 0;

    ConstData Name() const { return ConstData(name, nameLength); }
    ConstData Time() const { return ConstData(time, timeLength); }
    bool IsDirectory() const { return name[nameLength - 1] == '/'; }
};

// Reads the head of the next entry; false at the end mark.
bool ReadEntryHead(DataReader& reader, Entry& entry) {
    Byte type = ReadByte(reader);
    if (type != kFourByteSizeType && type != kEightByteSizeType) throw FormatError();
    entry.nameLength = ReadByte(reader);
    if (entry.nameLength == 0) return false;
    reader.ReadInto(entry.name, entry.name + entry.nameLength);
    if (entry.name[entry.nameLength - 1] == 0) --entry.nameLength;
    if (entry.nameLength == 0) throw DataOverflow();
    std::replace(entry.name, entry.name + entry.nameLength, Byte('\\'), Byte('/'));
    entry.timeLength = ReadByte(reader);
    if (entry.timeLength == 0) throw FormatError();
    reader.ReadInto(entry.time, entry.time + entry.timeLength);
    entry.size = ReadLittleEndianSize(reader, type == kEightByteSizeType ? 8 : 4);
    return true;
}

// Copies exactly `length` bytes of the reader into the receiver as one stream. When the reader ends
// first the receiver is left without its End (NoMoreData), so a replacing sink writes nothing.
void CopySection(DataReader& reader, std::uint64_t length, DataReceiver& receiver) {
    SectionReader section(reader, length);
    OwnedByteRange buffer = AllocateByteRange(kCopyBufferSize);
    receiver.Begin();
    while (section.HasMore()) {
        OutputRange free = buffer.Output();
        section.ReadSome(free);
        receiver.Receive(buffer.Begin(), free.begin);
    }
    if (section.Remaining() != 0) throw NoMoreData();
    receiver.End();
}

// A time that cannot be read or set leaves the file's time as it is.
void SetModificationTime(const FileLocation& file, ConstData timeText) {
    try {
        TimeValue time;
        time.SetFromCalendar(ParseTimeText(timeText));
        FileItem(file).SetLastWriteTime(time);
    } catch (const std::exception&) {
    }
}

void ExtractDirectory(const Entry& entry, const FileLocation& destination) {
    if (entry.size != 0) throw FormatError();
    if (ConstDataEqual(entry.Name(), ConstDataOfCString("/"))) return;
    CreateDirectoryTree(ResolveRelativePath(destination, entry.Name()));
}

void ExtractFile(DataReader& reader, const Entry& entry, const FileLocation& destination) {
    FileLocation target = ResolveRelativePath(destination, entry.Name());
    if (target == destination) throw FormatError();
    CreateDirectoryTree(target.GetParent());
    FileReplacingDataSink sink(target);
    CopySection(reader, entry.size, sink);
    SetModificationTime(target, entry.Time());
}

void ExtractEntries(DataReader& reader, const FileLocation& destination) {
    Entry entry;
    while (ReadEntryHead(reader, entry)) {
        if (entry.IsDirectory())
            ExtractDirectory(entry, destination);
        else
            ExtractFile(reader, entry, destination);
    }
}

}  // namespace

// The first 8 bytes decide between a compressed and a plain archive; an archive may be shorter
// than that (the empty archive is two bytes), so whatever of them there is goes back in front.
void ExtractArchive(DataReader& reader, const FileLocation& destination, std::uint64_t byteLimit) {
    if (destination.IsEmpty()) throw EmptyFileLocationError();
    CreateDirectoryTree(destination);
    PushBackDataReader stream(reader);
    Byte start[8];
    OutputRange startRead(start, sizeof start);
    while (!startRead.IsFull() && stream.HasMore()) stream.ReadSome(startRead);
    ConstData startBytes(start, startRead.begin);
    stream.PushBack(startBytes);
    if (!ConstDataEqual(startBytes, CompressedFileMarker())) {
        ExtractEntries(stream, destination);
        return;
    }
    CompressedFileReader content;
    content.SetUntrustedByteLimit(byteLimit);
    content.Open(stream);
    ExtractEntries(content, destination);
}

void ExtractArchiveFile(const FileLocation& archive, const FileLocation& destination,
                        std::uint64_t byteLimit) {
    PosixPlatform::FileReadingPath file(archive);
    FileReader reader(file);
    ExtractArchive(reader, destination, byteLimit);
}

bool IsArchiveControlName(ConstData name) {
    for (const char* control : {"Index.txt", "Archive.dat", "Index.tmp"})
        if (Ascii::EqualIgnoringCase(name, ConstDataOfCString(control))) return true;
    return !name.IsEmpty() && name.begin[0] == '_';
}
