// FileLineReader: a file read line by line, pulled one line at a time.
//
// Lines end at CR, at LF, or at CR LF or LF CR taken together (CR CR is two line ends); the last line
// needs no line end, and a line end at the very end of the file makes no extra empty line. Lines of
// any length come out whole. The file is read in 2,048-byte pieces up to the size it had when the
// reader was made.
//
//     for (FileLineReader reader(location); reader.HasLine(); reader.Next()) use(reader.GetLine());
//
// Owns its open file. One thread at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "foundation/file_reader.h"
#include "foundation/line_maker.h"
#include "platform/file_paths.h"

class FileLineReader {
  public:
    // Opens the file and makes its first line current (FileIOError kinds when it cannot be opened).
    explicit FileLineReader(const FileLocation& location);

    bool HasLine() const { return m_hasLine; }
    // The current line without its line end; valid until Next.
    ConstData GetLine() const { return ConstData(m_line.data(), m_line.size()); }
    // Makes the next line current; after the last line HasLine is false.
    void Next();

  private:
    // Collects the lines the line maker completes.
    class LineCollector : public LineReceiver {
      public:
        void Begin(std::uint64_t) override {}
        void ReceiveText(const Byte* begin, const Byte* end) override;
        void EndLine(std::uint64_t, std::uint64_t) override;
        void End(std::uint64_t) override;

        std::deque<std::string> lines;

      private:
        std::string m_current;
        bool m_hasText = false;
    };

    static constexpr std::size_t kBufferSize = 2048;

    void ReadMore();

    PosixPlatform::FileReadingPath m_path;
    FileReader m_reader;
    LineCollector m_collector;
    LineMaker m_maker;
    Byte m_buffer[kBufferSize];
    bool m_atEnd = false;
    bool m_hasLine = false;
    std::string m_line;
};
