// Versioned object lists: the text form in which relays exchange lists over HTTP, a child's list of
// download targets for its parent's "cgi-bin/DownloadRequest" and the parent's list of download
// responses (download_response.h):
//
//   0                    the list version, a decimal integer; writers write "0", readers do not
//   <object>             compare it with anything
//   <object>             ... one object per line in the object's own text form
//
// Every written line, the version line included, ends with one line feed. A reader cuts lines at any
// common line end, skips empty object lines, and takes a last line without a line end all the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "foundation/data_stages.h"
#include "foundation/integer_maker.h"
#include "foundation/line_maker.h"
#include "relay/service/download_request_target.h"

// The version line is not a decimal number (or the text is empty).
class InvalidObjectListVersion : public FormatError {};
// The list holds more objects than its reader takes.
class ObjectListTooLong : public FormatError {};

// A LineReceiver that reads a versioned object list into a caller's list, parsing each object line
// with Parser::Parse (std::string_view -> Parser::Object) as the line ends. A parser's exception
// leaves the receiver and ends the read; the list then holds the objects before the bad line, which
// the caller discards. An object beyond `mostObjects` throws ObjectListTooLong before it is parsed.
// One list per Begin..End; one thread at a time.
template <class Parser>
class VersionedObjectListReceiver : public LineReceiver {
  public:
    using Object = typename Parser::Object;

    explicit VersionedObjectListReceiver(std::vector<Object>& output,
                                         std::size_t mostObjects = std::numeric_limits<std::size_t>::max())
        : m_output(output), m_mostObjects(mostObjects) {
        m_versionMaker.SetTarget(&m_version);
        m_lineMaker.SetTarget(m_line);
    }

    void Begin(std::uint64_t) override {
        m_output.clear();
        m_line.clear();
        m_readingVersion = true;
        m_versionMaker.Begin();
    }
    void ReceiveText(const Byte* begin, const Byte* end) override { Current().Receive(begin, end); }
    // The first line end closes the version line, every later one an object line.
    void EndLine(std::uint64_t, std::uint64_t) override {
        EndCurrentLine();
        m_readingVersion = false;
        m_lineMaker.Begin();
    }
    void End(std::uint64_t) override { EndCurrentLine(); }

    std::uint32_t GetVersion() const { return m_version; }

  private:
    DataReceiver& Current() {
        return m_readingVersion ? static_cast<DataReceiver&>(m_versionMaker) : m_lineMaker;
    }

    void EndCurrentLine() {
        Current().End();
        if (m_readingVersion) {
            if (!m_versionMaker.HasValue()) throw InvalidObjectListVersion();
        } else if (!m_line.empty()) {
            if (m_output.size() == m_mostObjects) throw ObjectListTooLong();
            m_output.push_back(Parser::Parse(m_line));
        }
    }

    std::vector<Object>& m_output;
    std::size_t m_mostObjects;
    std::uint32_t m_version = 0;
    bool m_readingVersion = true;
    IntegerMaker m_versionMaker;
    std::string m_line;
    StringReceiver m_lineMaker;
};

// Writes the version line "0" and each object's line through a LineFlattener ending lines with "\n":
// Begin, the lines, End. Format(object) gives an object's line.
template <class Object, class Format>
void WriteVersionedObjectList(const std::vector<Object>& objects, DataReceiver& receiver, Format format) {
    LineFlattener lines(receiver, ConstData(std::string_view("\n")));
    const auto writeLine = [&lines](std::string_view text) {
        const ConstData bytes(text);
        lines.ReceiveText(bytes.begin, bytes.end);
        lines.EndLine(0, 0);
    };
    lines.Begin(0);
    writeLine("0");
    for (const Object& object : objects) writeLine(format(object));
    lines.End(0);
}

// Target lists: one target text (download_request_target.h) per line.
struct DownloadRequestTargetParser {
    using Object = DownloadRequestTarget;
    static DownloadRequestTarget Parse(std::string_view line) { return ParseDownloadRequestTarget(line); }
};

// Reads the whole list from the reader: InvalidObjectListVersion, ObjectListTooLong beyond
// `mostTargets`, or the failures of ParseDownloadRequestTarget for a line that is no target.
std::vector<DownloadRequestTarget> ReadDownloadRequestTargetList(
    DataReader& reader, std::size_t mostTargets = std::numeric_limits<std::size_t>::max());
void WriteDownloadRequestTargetList(const std::vector<DownloadRequestTarget>& targets,
                                    DataReceiver& receiver);
