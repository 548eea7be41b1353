// Result archives: the plain sequence of length-prefixed sections in which the relay collects and
// forwards client reports. Each section is
//     0   7 bytes  "PRFILE:"
//     7   8 bytes  the section's length, unsigned, big-endian
//     15  ...      that many bytes
// and the archive is the sections one after another, to the end of the stream.
//
// Writing: a ResultArchiveReceiver takes Begin, one Section per section (whose receiver gets that
// section's bytes), End; ResultArchiveWriter turns those calls into the bytes. ReadFileInto puts a
// whole file in as one section. Reading: a ResultArchiveSectionReader per section, made while the
// underlying reader has more.
//
// Nothing here owns its neighbours; each object is used by one thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "base/file_location.h"
#include "formats/section_reader.h"
#include "foundation/data_stages.h"

class ResultArchiveReceiver {
  public:
    virtual ~ResultArchiveReceiver() = default;
    virtual void Begin() {}
    // The receiver of the next section, which is `length` bytes long. The caller begins it, writes
    // exactly `length` bytes and ends it. The default drops the section.
    virtual DataReceiver& Section(std::uint64_t length) { return IgnoreDataReceiver::Instance(); }
    virtual void End() {}
};

// Writes an archive into a target stream, which it begins and ends with the archive.
class ResultArchiveWriter : public ResultArchiveReceiver {
  public:
    explicit ResultArchiveWriter(DataReceiver& target) : m_target(&target) { m_appender.SetTarget(target); }

    void Begin() override { m_target->Begin(); }
    // Writes the section header; the returned receiver passes the bytes straight to the target (its
    // Begin and End do nothing), and nothing checks that exactly `length` of them come.
    DataReceiver& Section(std::uint64_t length) override;
    void End() override { m_target->End(); }

  private:
    DataReceiver* m_target;
    DataAppender m_appender;
};

// Adds the file as one section: its length is taken from the opened file, and exactly that many
// bytes are copied from it, so a file that grows meanwhile cannot shift the sections after it. A
// file that shrinks below that length fails with FileReadingLoopEndOfFileError.
void ReadFileInto(ResultArchiveReceiver& receiver, const FileLocation& location);

// Reads the header of the next section ("PRFILE:" and the length; FormatError for another marker,
// NoMoreData when the stream ends inside the header) and then serves that section's bytes. When it
// goes, it reads and drops whatever of its section is left, so that the underlying reader stands at
// the next section; a failure while dropping ends that silently.
class ResultArchiveSectionReader : public SectionReader {
  public:
    explicit ResultArchiveSectionReader(DataReader& reader);
    ResultArchiveSectionReader(const ResultArchiveSectionReader&) = delete;
    ResultArchiveSectionReader& operator=(const ResultArchiveSectionReader&) = delete;
    ~ResultArchiveSectionReader() override;
};
