// Reading an open file (platform/file_paths.h) through the pipeline: FileReader is the DataReader over
// it, FileReadingLoop cuts a stretch of it into chunks in a caller's buffer.
//
// Both keep their own 64-bit position (a FileReader's may also be moved forward by its user) and
// never own the path, which must outlive them. The file size is taken when they are set up: bytes
// appended later are not read, and a file that shrinks below it is an error.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "base/file_errors.h"
#include "platform/file_paths.h"

// The file ended before the stretch a FileReadingLoop was set up to read: it shrank meanwhile, or the
// stretch lies beyond its end.
class FileReadingLoopEndOfFileError : public FileIOError {
  public:
    using FileIOError::FileIOError;
};

class FileReader : public DataReader {
  public:
    // Reads from `start` to the size the file has now.
    explicit FileReader(const PosixPlatform::FileReadingPath& path, std::uint64_t start = 0);

    bool AtEnd() override { return m_position >= m_size; }
    // One read of up to the range's length; nothing at the end of the file.
    void ReadSome(OutputRange& range) override;
    // One read of the whole range; NoMoreData when the file holds fewer bytes.
    void ReadInto(Byte* begin, Byte* end) override;

    const PosixPlatform::FileReadingPath& GetPath() const { return *m_path; }
    std::uint64_t GetPosition() const { return m_position; }
    // Moves the position forward without reading; it may pass the end, where the next read finds
    // nothing. A position that would pass 2^64 - 1 stays there.
    void Skip(std::uint64_t count) { m_position = count > ~m_position ? ~std::uint64_t{0} : m_position + count; }
    std::uint64_t GetSize() const { return m_size; }

  private:
    const PosixPlatform::FileReadingPath* m_path;
    std::uint64_t m_position;
    std::uint64_t m_size;
};

// Delivers the bytes [start, end) of a file chunk by chunk through the caller's buffer:
//     for (FileReadingLoop loop(buffer, path, start); loop.HasChunk(); loop.Advance()) use(loop.Chunk());
// FileReadingLoopEndOfFileError when the file ends before `end`, or when `start` lies past `end`.
class FileReadingLoop {
  public:
    // From `start` to the size the file has now.
    FileReadingLoop(OutputRange buffer, const PosixPlatform::FileReadingPath& path, std::uint64_t start);
    FileReadingLoop(OutputRange buffer, const PosixPlatform::FileReadingPath& path, std::uint64_t start,
                    std::uint64_t end);

    bool HasChunk() const { return m_remaining != 0; }
    // The current chunk, inside the caller's buffer; valid until Advance.
    ConstData Chunk() const { return m_chunk; }
    void Advance();

  private:
    void ReadChunk();

    OutputRange m_buffer;
    FileReader m_reader;
    ConstData m_chunk;
    std::uint64_t m_remaining;
};
