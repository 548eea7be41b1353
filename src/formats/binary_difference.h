// Binary differences: how a parent sends the change from an old copy of a file to the new copy. The
// relay only applies them.
//
// A difference is a plain sequence of records, with no header, trailer or checksum:
//     1 byte   tag: high nibble the operation, low nibble N, the count of length bytes (1 to 4)
//     N bytes  the length, unsigned little-endian
//     length   literal bytes, for an insert only
// Operations: 0x10 insert (the literal bytes go to the new file), 0x20 skip (the read position in the
// old file moves forward by the length), 0x40 copy (the next `length` bytes of the old file go to the
// new file). Any other operation, or N of 0 or above 4, is malformed; the operation is checked once
// its length bytes are read. A zero length does nothing. The old file is read strictly forward from
// position 0; a skip may pass its end, and only a later copy from there fails (NoMoreData).
//
// Two readers of the format:
// - ApplyDifferenceBlock, for a difference that is a member of an update archive: a free function
//   over a reader that knows the difference's length; malformations are FormatError, and so is a
//   length above 0x7FFFFFFF.
// - DifferenceMaker, the streaming parser of a separate difference file (a pipeline stage), which
//   reports records to a DifferenceReceiver such as DifferenceExpander; malformations are
//   IllFormedDifferenceData.
// Both bound the new file: more output than the expected size of the new file is an error of their
// kind, so a hostile difference cannot fill the disk. Nothing is cleaned up here: the caller deletes
// or keeps a partly written output. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "foundation/file_reader.h"
#include "foundation/file_writer.h"

class IllFormedDifferenceData : public DebuggableException {};

// Applies the difference of exactly `differenceLength` bytes that `difference` stands at: the new
// file goes, chunk by chunk, to `output` and then to `digest` (which its caller has begun). At most
// `maximumOutput` bytes of new file are accepted.
void ApplyDifferenceBlock(DataReader& difference, std::uint64_t differenceLength, FileReader& oldFile,
                          FileWriter& output, DataReceiver& digest, std::uint64_t maximumOutput);

// The records of a difference, as the streaming parser finds them. Insert may come in several calls
// for one record.
class DifferenceReceiver {
  public:
    virtual ~DifferenceReceiver() = default;
    virtual void Begin() {}
    virtual void Insert(const Byte* begin, const Byte* end) = 0;
    virtual void Skip(std::uint32_t count) = 0;
    virtual void Copy(std::uint32_t count) = 0;
    virtual void End() {}
};

// The streaming parser: a DataReceiver of the difference's bytes, cut anywhere. End throws
// IllFormedDifferenceData when the stream stops inside a record. The target is not owned.
class DifferenceMaker : public DataReceiver, public DataWriter {
  public:
    explicit DifferenceMaker(DifferenceReceiver& target) : m_target(&target) {}

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    void TakeLengthByte(Byte byte);

    DifferenceReceiver* m_target;
    Byte m_operation = 0;
    std::uint32_t m_lengthBytesDue = 0;
    std::uint32_t m_length = 0;
    std::uint32_t m_shift = 0;
    std::uint32_t m_literalBytesDue = 0;
};

// Rebuilds the new file from the old one and the records: inserts and copies go to the output
// receiver, whose Begin and End it passes on; at most `maximumOutput` bytes, more is
// IllFormedDifferenceData. Neither the old file's reader nor the output is owned.
class DifferenceExpander : public DifferenceReceiver {
  public:
    DifferenceExpander(FileReader& oldFile, DataReceiver& output, std::uint64_t maximumOutput)
        : m_oldFile(oldFile),
          m_output(output),
          m_maximumOutput(maximumOutput),
          m_copyBuffer(std::make_unique_for_overwrite<Byte[]>(kCopyChunk)) {}

    void Begin() override;
    void Insert(const Byte* begin, const Byte* end) override;
    void Skip(std::uint32_t count) override;
    void Copy(std::uint32_t count) override;
    void End() override;

  private:
    static constexpr std::size_t kCopyChunk = 32768;

    void Produce(std::uint64_t count);

    FileReader& m_oldFile;
    DataReceiver& m_output;
    std::uint64_t m_maximumOutput;
    std::uint64_t m_produced = 0;
    std::unique_ptr<Byte[]> m_copyBuffer;
};
