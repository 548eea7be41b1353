#include "formats/compressed_file.h"

#include "foundation/data_stages.h"
#include "foundation/endian.h"
#include "foundation/file_replacing_data_sink.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"

namespace {

constexpr Byte kCompressedMarker[8] = {'#', '#', 'S', 'C', '0', '0', '1', 0};
constexpr Byte kUncompressedMarker[8] = {'#', '#', 'S', 'N', '0', '0', '1', 0};
constexpr std::size_t kMarkerLength = sizeof kCompressedMarker;
constexpr std::uint64_t kChecksumOffset = kMarkerLength;
constexpr Byte kZeroChecksum[4] = {};

constexpr std::size_t kOutputBlockSize = 1024;
constexpr std::size_t kReaderInputSize = 32768;

void WriteChecksum(Byte (&bytes)[4], std::uint32_t checksum) {
    PutUInt32BigEndian(OutputRange(bytes, sizeof bytes), checksum);
}

}  // namespace

ConstData CompressedFileMarker() {
    return ConstData(kCompressedMarker, kMarkerLength);
}

ConstData UncompressedFileMarker() {
    return ConstData(kUncompressedMarker, kMarkerLength);
}

void CompressedFileWriter::Begin() {
    m_checksum.Begin();
    m_compressor.Reset();
    m_target->Begin();
    m_target->Receive(CompressedFileMarker());
    m_target->Write(kZeroChecksum, kZeroChecksum + sizeof kZeroChecksum);
}

void CompressedFileWriter::Receive(const Byte* begin, const Byte* end) {
    m_checksum.Receive(begin, end);
    ConstData input(begin, end);
    while (!input.IsEmpty()) {
        Byte block[kOutputBlockSize];
        OutputRange output(block, sizeof block);
        m_compressor.Filter(input, output);
        PassOn(block, output.begin);
    }
}

void CompressedFileWriter::PassOn(const Byte* begin, const Byte* end) {
    if (begin != end) m_target->Receive(begin, end);
}

// The checksum is stored only after the target has ended: a target that buffers (or writes a new
// file and renames it into place) has then put every byte where it belongs, and nothing it still
// held can land on the checksum afterwards.
void CompressedFileWriter::End() {
    m_checksum.End();
    while (!m_compressor.IsComplete()) {
        Byte block[kOutputBlockSize];
        OutputRange output(block, sizeof block);
        m_compressor.Finish(output);
        PassOn(block, output.begin);
    }
    m_target->End();
    if (m_writtenFile.IsEmpty()) return;
    Byte checksum[4];
    WriteChecksum(checksum, m_checksum.Checksum());
    PosixPlatform::FileWritingPath file;
    file.Open(m_writtenFile);
    file.WriteAt(kChecksumOffset, checksum, checksum + sizeof checksum);
    file.Flush();
}

void UncompressedFileWriter::Begin() {
    m_checksum.Begin();
    m_path.OpenCreateAlways(m_location);
    m_writer.Attach(m_path, 0);
    m_writer.Write(UncompressedFileMarker());
    m_writer.Write(ConstData(kZeroChecksum, sizeof kZeroChecksum));
}

void UncompressedFileWriter::Receive(const Byte* begin, const Byte* end) {
    m_checksum.Receive(begin, end);
    m_writer.Write(begin, end);
}

void UncompressedFileWriter::End() {
    m_checksum.End();
    Byte checksum[4];
    WriteChecksum(checksum, m_checksum.Checksum());
    m_path.WriteAt(kChecksumOffset, checksum, checksum + sizeof checksum);
    m_path.Flush();
    m_path.Close();
}

CompressedFileReader::CompressedFileReader() : m_inputBuffer(AllocateByteRange(kReaderInputSize)) {}

void CompressedFileReader::Open(DataReader& source) {
    m_source = &source;
    m_input = ConstData();
    m_lookAhead = ConstData();
    m_decompressor.Reset();
    Byte header[kCompressedFileHeaderLength];
    m_source->ReadInto(header, header + kMarkerLength);
    if (!ConstDataEqual(ConstData(header, kMarkerLength), CompressedFileMarker()))
        throw FileStartingBytesNotRecognized();
    m_source->ReadInto(header + kMarkerLength, header + sizeof header);
    m_produced = kCompressedFileHeaderLength;
    OutputRange lookAhead(m_lookAheadBuffer, sizeof m_lookAheadBuffer);
    Fill(lookAhead);
    m_lookAhead = ConstData(m_lookAheadBuffer, lookAhead.begin);
}

void CompressedFileReader::Open(const FileLocation& location) {
    m_fileReader.reset();
    m_file.Open(location);
    m_fileReader.emplace(m_file);
    Open(*m_fileReader);
}

void CompressedFileReader::ReadSome(OutputRange& range) {
    if (m_limit != 0 && m_produced > m_limit) throw UntrustedByteLimitExceeded();
    CopyDataIntoRange(range, m_lookAhead);
    if (!m_lookAhead.IsEmpty() || m_source == nullptr) return;
    Fill(range);
    OutputRange lookAhead(m_lookAheadBuffer, sizeof m_lookAheadBuffer);
    Fill(lookAhead);
    m_lookAhead = ConstData(m_lookAheadBuffer, lookAhead.begin);
}

// Inflates into the range until it is full or the stream has ended. Once the zlib stream is
// complete nothing more is read from the source: trailing bytes are left where they are.
void CompressedFileReader::Fill(OutputRange& range) {
    while (!range.IsFull() && !m_decompressor.IsComplete()) {
        if (m_input.IsEmpty() && m_source->HasMore()) {
            OutputRange input = m_inputBuffer.Output();
            m_source->ReadSome(input);
            m_input = ConstData(m_inputBuffer.Begin(), input.begin);
        }
        Byte* before = range.begin;
        if (!m_input.IsEmpty())
            m_decompressor.Filter(m_input, range);
        else if (m_source->AtEnd())
            m_decompressor.Finish(range);
        m_produced += static_cast<std::uint64_t>(range.begin - before);
    }
}

void CompressedFileChunkReader::Open(const FileLocation& location) {
    m_window = ConstData();
    m_reader.Open(location);
    Refill();
}

void CompressedFileChunkReader::Refill() {
    OutputRange free = m_buffer;
    if (m_reader.HasMore()) m_reader.ReadSome(free);
    m_window = ConstData(m_buffer.begin, free.begin);
}

void CompressionRemover::CheckedContent::Begin() {
    m_checksum.Begin();
    target->Begin();
}

void CompressionRemover::CheckedContent::Receive(const Byte* begin, const Byte* end) {
    m_checksum.Receive(begin, end);
    target->Receive(begin, end);
}

void CompressionRemover::CheckedContent::End() {
    m_checksum.End();
    if (m_checksum.Checksum() != expected) throw CompressedFileChecksumError();
    target->End();
}

void CompressionRemover::Begin() {
    m_current = nullptr;
    m_headerLength = 0;
}

void CompressionRemover::Receive(const Byte* begin, const Byte* end) {
    if (m_current == nullptr) {
        OutputRange free(m_header + m_headerLength, m_header + sizeof m_header);
        ConstData input(begin, end);
        CopyDataIntoRange(free, input);
        m_headerLength = static_cast<std::size_t>(free.begin - m_header);
        if (m_headerLength < sizeof m_header) return;
        DecideOnHeader();
        begin = input.begin;
    }
    m_current->Receive(begin, end);
}

void CompressionRemover::DecideOnHeader() {
    if (ConstDataStartsWith(ConstData(m_header, sizeof m_header), CompressedFileMarker())) {
        ReadBigEndian32(ConstData(m_header + kChecksumOffset, m_header + sizeof m_header),
                        m_checked.expected);
        m_inflater.set(m_checked);
        m_inflater.Begin();
        m_current = &m_inflater;
    } else {
        m_target->Begin();
        m_target->Receive(m_header, m_header + sizeof m_header);
        m_current = m_target;
    }
}

void CompressionRemover::End() {
    if (m_current == nullptr) {
        ReceiveComplete(*m_target, ConstData(m_header, m_headerLength));
        return;
    }
    m_current->End();
}

void CompressFile(const FileLocation& source, const FileLocation& target) {
    TemporaryFile temporary(target.GetParent());
    FileDataSink sink(temporary.GetPath(), 0);
    CompressedFileWriter writer(sink, temporary.GetLocation());
    FeedFileToReceiver(source, writer);
    temporary.ReplaceTo(target);
}

void ExpandFile(const FileLocation& source, const FileLocation& target, std::uint64_t byteLimit) {
    FileReplacingDataSink sink(target);
    ByteLimitedReceiver<> bounded;
    bounded.SetUp(sink, byteLimit == 0 ? ~std::uint64_t{0} : byteLimit);
    CompressionRemover content(bounded);
    FeedFileToReceiver(source, content);
}
