#include "foundation/whole_file.h"

#include "foundation/file_reader.h"
#include "foundation/file_replacing_data_sink.h"
#include "foundation/line_maker.h"
#include "platform/file_paths.h"

namespace {

constexpr std::size_t kChunkSize = 4096;

// Hands every chunk of the bytes [start, end) to `use`.
template <class Use>
void ForEachChunk(const PosixPlatform::FileReadingPath& path, std::uint64_t start, std::uint64_t end,
                  Use use) {
    Byte buffer[kChunkSize];
    for (FileReadingLoop loop(OutputRange(buffer, sizeof buffer), path, start, end); loop.HasChunk();
         loop.Advance()) {
        use(loop.Chunk());
    }
}

template <class Container>
Container ReadAll(const FileLocation& location) {
    PosixPlatform::FileReadingPath path(location);
    Container content;
    content.reserve(static_cast<std::size_t>(path.GetSize()));
    ForEachChunk(path, 0, path.GetSize(),
                 [&](ConstData chunk) { content.insert(content.end(), chunk.begin, chunk.end); });
    return content;
}

void Feed(const PosixPlatform::FileReadingPath& path, DataReceiver& receiver, std::uint64_t start,
          std::uint64_t end) {
    receiver.Begin();
    ForEachChunk(path, start, end, [&](ConstData chunk) { receiver.Receive(chunk); });
    receiver.End();
}

}  // namespace

void FeedFileToReceiver(const FileLocation& location, DataReceiver& receiver, std::uint64_t start) {
    PosixPlatform::FileReadingPath path(location);
    Feed(path, receiver, start, path.GetSize());
}

void FeedFileSectionToReceiver(const FileLocation& location, DataReceiver& receiver, std::uint64_t start,
                               std::uint64_t end) {
    PosixPlatform::FileReadingPath path(location);
    Feed(path, receiver, start, end);
}

void ReadFileLines(const FileLocation& location, LineReceiver& receiver, std::uint64_t start) {
    LineMaker maker(receiver);
    FeedFileToReceiver(location, maker, start);
}

std::vector<Byte> ReadWholeFile(const FileLocation& location) {
    return ReadAll<std::vector<Byte>>(location);
}

std::string ReadFileText(const FileLocation& location) {
    return ReadAll<std::string>(location);
}

void WriteWholeFile(ConstData data, const FileLocation& location) {
    FileReplacingDataSink sink(location);
    ReceiveComplete(sink, data);
}

void WriteWholeFile(const std::vector<Byte>& data, const FileLocation& location) {
    WriteWholeFile(ConstData(data.data(), data.size()), location);
}
