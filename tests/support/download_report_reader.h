// The download reports read back by Python's own parsers (download_report_reader.py, run with
// python3): html.parser for the page, xml.etree for the document, zlib for the compressed form. A
// second implementation to hold the relay's output against, not the relay's own readers.
#pragma once

#include <string>
#include <vector>

struct ParsedReport {
    bool parsed = false;
    // The parser's message when the input did not parse.
    std::string error;
    // What the reader printed, one line each (see the script's header): "starttag <tag>",
    // "href <value>" and "text <data>" for a page, "<path>=<text>" for a document.
    std::vector<std::string> lines;

    // The lines that begin with the prefix, the prefix taken off.
    std::vector<std::string> With(const std::string& prefix) const;
    // All lines, for a failure message.
    std::string Text() const;
};

ParsedReport ParseHTMLReport(const std::string& page);
ParsedReport ParseXMLReport(const std::string& document);
// The zlib stream decompressed; empty with `ok` false when Python's zlib refuses it.
std::string InflateReport(const std::string& compressed, bool& ok);
