// Compressed files: how reports, uploads and downloaded archives are kept on disk.
//
// The format (offsets from the start of the file):
//     0   8 bytes  marker: "##SC001" and a zero byte (the body is a zlib stream, RFC 1950), or
//                  "##SN001" and a zero byte (the body is stored as it is)
//     8   4 bytes  CRC-32/BZIP2 of the uncompressed content, big-endian (ChecksumReceiver)
//     12  ...      the body, to the end of the file
// A writer puts four zero bytes at offset 8 and stores the checksum there once the content is
// complete; a file written without a known location keeps the zeros.
//
// The stages:
// - CompressedFileWriter and UncompressedFileWriter write the two kinds;
// - CompressedFileReader reads the content of a "##SC001" file or stream, with an optional limit
//   on what it produces for input that cannot be trusted (a small file can inflate to terabytes);
// - CompressedFileChunkReader reads one into a caller's buffer window by window;
// - CompressionRemover strips the format from a pushed stream, checking the checksum, and passes
//   anything else through unchanged;
// - CompressFile and ExpandFile do the same for whole files.
// None owns its neighbours; each is used by one thread at a time.
#pragma once

#include <cstdint>
#include <optional>

#include "base/data_pipeline.h"
#include "base/file_location.h"
#include "formats/zlib_filter.h"
#include "foundation/checksum_receiver.h"
#include "foundation/file_reader.h"
#include "foundation/file_writer.h"
#include "platform/file_paths.h"

inline constexpr std::size_t kCompressedFileHeaderLength = 12;

// The first 8 bytes of a compressed ("##SC001") and of a stored ("##SN001") file.
ConstData CompressedFileMarker();
ConstData UncompressedFileMarker();

// The stream does not start with the "##SC001" marker.
class FileStartingBytesNotRecognized : public DebuggableException {};
// A CompressedFileReader produced more than its untrusted byte limit.
class UntrustedByteLimitExceeded : public DebuggableException {};
// The content of a compressed stream does not match the checksum in its header.
class CompressedFileChecksumError : public DebuggableException {};

// Compresses a stream into the bytes of a "##SC001" file, passed to the target. When the location
// of the file that the target writes is given, End stores the checksum into that file after the
// target has ended (so that no buffer of the target can overwrite it); without it the checksum
// stays zero.
class CompressedFileWriter : public DataReceiver, public DataWriter {
  public:
    explicit CompressedFileWriter(DataReceiver& target, FileLocation writtenFile = {})
        : m_target(&target), m_writtenFile(std::move(writtenFile)) {}

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    void PassOn(const Byte* begin, const Byte* end);

    DataReceiver* m_target;
    FileLocation m_writtenFile;
    ZlibCompressor m_compressor;
    ChecksumReceiver m_checksum;
};

// Writes a stream as a stored ("##SN001") file at a location: Begin creates or empties the file,
// End stores the checksum, flushes the file to the disk and closes it.
class UncompressedFileWriter : public DataReceiver, public DataWriter {
  public:
    explicit UncompressedFileWriter(FileLocation location) : m_location(std::move(location)) {}

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    FileLocation m_location;
    PosixPlatform::FileWritingPath m_path;
    FileWriter m_writer;
    ChecksumReceiver m_checksum;
};

// Reads the content of a "##SC001" stream, from another reader or from a file. Opening reads the
// 12-byte header (FileStartingBytesNotRecognized for any other marker, "##SN001" included); the
// checksum is not checked here, since files written without a location carry none. Bad or
// truncated compressed data throws ZlibError; bytes after the end of the zlib stream are ignored.
//
// With an untrusted byte limit N (0: none), reads go on until more than N bytes have been produced
// (the header counting as 12), and the next read throws UntrustedByteLimitExceeded; what is read
// beyond N is bounded by the size of the read plus 1,024 bytes of look-ahead.
class CompressedFileReader : public DataReader {
  public:
    CompressedFileReader();
    CompressedFileReader(const CompressedFileReader&) = delete;
    CompressedFileReader& operator=(const CompressedFileReader&) = delete;

    // Reads from `source`, which must outlive the reader and stand at the start of the stream.
    void Open(DataReader& source);
    // Reads the file from its start.
    void Open(const FileLocation& location);
    void SetUntrustedByteLimit(std::uint64_t limit) { m_limit = limit; }

    // True when the content is exhausted (also before Open).
    bool AtEnd() override { return m_lookAhead.IsEmpty(); }
    void ReadSome(OutputRange& range) override;

  private:
    void Fill(OutputRange& range);

    ZlibDecompressor m_decompressor;
    PosixPlatform::FileReadingPath m_file;
    std::optional<FileReader> m_fileReader;
    DataReader* m_source = nullptr;
    OwnedByteRange m_inputBuffer;
    ConstData m_input;
    Byte m_lookAheadBuffer[1024];
    ConstData m_lookAhead;
    std::uint64_t m_limit = 0;
    std::uint64_t m_produced = 0;
};

// Reads a compressed file window by window into a caller's buffer, which must outlive it:
//     CompressedFileChunkReader chunks(buffer);
//     for (chunks.Open(location); chunks.HasMore(); chunks.Refill()) use(chunks.Window());
class CompressedFileChunkReader {
  public:
    explicit CompressedFileChunkReader(OutputRange buffer) : m_buffer(buffer) {}

    // Opens the file and fills the first window.
    void Open(const FileLocation& location);
    // The next window; empty when the content is exhausted.
    void Refill();
    bool HasMore() { return !m_window.IsEmpty() || m_reader.HasMore(); }
    ConstData Window() const { return m_window; }

  private:
    OutputRange m_buffer;
    ConstData m_window;
    CompressedFileReader m_reader;
};

// Strips the compressed-file format from a pushed stream. When the first 12 bytes start with the
// "##SC001" marker the rest is inflated into the target and, at End, the content's checksum is
// compared with the header's: a mismatch throws CompressedFileChecksumError before the target is
// ended, so a target that commits at End (a replacing file sink) commits nothing. Any other stream,
// a "##SN001" file included, reaches the target unchanged; so does a stream shorter than 12 bytes.
class CompressionRemover : public DataReceiver, public DataWriter {
  public:
    CompressionRemover() = default;
    explicit CompressionRemover(DataReceiver& target) { SetTarget(target); }

    CompressionRemover& SetTarget(DataReceiver& target) {
        m_target = &target;
        m_checked.target = &target;
        return *this;
    }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    // The inflated content on its way to the target, checked before the target is ended.
    class CheckedContent : public DataReceiver, public DataWriter {
      public:
        void Begin() override;
        void Receive(const Byte* begin, const Byte* end) override;
        void End() override;

        DataReceiver* target = nullptr;
        std::uint32_t expected = 0;

      private:
        ChecksumReceiver m_checksum;
    };

    void DecideOnHeader();

    DataReceiver* m_target = nullptr;
    // Null while the header is being collected.
    DataReceiver* m_current = nullptr;
    Byte m_header[kCompressedFileHeaderLength];
    std::size_t m_headerLength = 0;
    ZlibDecompressingDataMaker m_inflater;
    CheckedContent m_checked;
};

// Writes the file's bytes as a compressed ("##SC001") file at `target`, with its checksum, through a
// temporary file beside the target that replaces it only when complete.
void CompressFile(const FileLocation& source, const FileLocation& target);
// Writes the content of a compressed file at `target` the same way; a file in any other format is
// copied as it is. More than `byteLimit` bytes of content (0: none) throws ByteLimitExceeded
// (data_stages.h), a checksum that does not match CompressedFileChecksumError; either leaves the
// target as it was.
void ExpandFile(const FileLocation& source, const FileLocation& target, std::uint64_t byteLimit);
