// Download request files: an action's list of downloads, as a text file named "dl_" followed by the
// action id in decimal. The relay takes them from its inbox and from finished action folders
// (download_request_file_processor.h) and from the parent (a URL request's download), and keeps each
// action's file in the "ActionURLs" folder of its cache, from which children fetch it.
//
// The format, lines cut at any common line end (a last line without one counts):
//
//   +                    the add flag: "+" (only the line's first byte is compared) or the line "-"
//   12                   the action id, unsigned 32-bit decimal; every download of the file carries it
//   http://host/a.zip    then one group per download, numbered from 1 in file order: the URL, the
//   size:5000            whole line (an empty line here is an empty URL); an optional size line,
//   sha1:<40 hex>        "size:" and the size in decimal or "null"; the SHA-1 line, "sha1:" and 40
//                        hexadecimal digits or "null"
//
// Empty lines at the end are dropped first; a file of only the two first lines lists no downloads.
// "null" leaves the size or SHA-1 absent (not zero). Each download becomes an indexed
// DownloadRequestTarget of the action.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "base/file_location.h"
#include "foundation/data_stages.h"
#include "relay/service/download_request_target.h"

// The file breaks the format: fewer than two lines, a first line of neither flag, a URL without its
// SHA-1 line, a SHA-1 that is not 40 hexadecimal digits, or (ReadDownloadRequestFileOfAction) another
// action than the expected one.
class InvalidDownloadRequestFile : public DebuggableException {};

struct DownloadRequestFile {
    bool add = true;  // "+"; false for "-"
    std::uint32_t actionID = 0;
    std::vector<DownloadRequestTarget> targets;  // indexed targets, indexes 1, 2, ...
};

// A LineReceiver that collects the lines of a request file and, at End, reads them into the
// DownloadRequestFile given to it. End throws InvalidDownloadRequestFile for a file that breaks the
// format, NotANumeral or NumeralTooLarge for an action id or size that is not such a number; the
// result is then unspecified. One file per Begin..End; one thread at a time.
class DownloadRequestFileMaker : public LineReceiver {
  public:
    explicit DownloadRequestFileMaker(DownloadRequestFile& result) : m_result(result), m_collector(m_lines) {}

    void Begin(std::uint64_t startOffset) override { m_collector.Begin(startOffset); }
    void ReceiveText(const Byte* begin, const Byte* end) override { m_collector.ReceiveText(begin, end); }
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override {
        m_collector.EndLine(terminatorStart, terminatorEnd);
    }
    void End(std::uint64_t total) override;

  private:
    DownloadRequestFile& m_result;
    std::vector<std::string> m_lines;
    LineListMaker m_collector;
};

// The whole file read through a DownloadRequestFileMaker: its failures, and the file errors of a file
// that cannot be read.
DownloadRequestFile ReadDownloadRequestFile(const FileLocation& location);
// The same, refusing with InvalidDownloadRequestFile a file whose action id is not `actionID` (the one
// its name or folder gives).
DownloadRequestFile ReadDownloadRequestFileOfAction(const FileLocation& location, std::uint32_t actionID);
