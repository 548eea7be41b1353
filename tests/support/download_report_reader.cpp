#include "support/download_report_reader.h"

#include <sstream>

#include "support/program_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

const std::string kScript = std::string(KVR_SOURCE_DIR) + "/tests/support/download_report_reader.py";

ParsedReport RunReader(const std::string& command, const std::string& input) {
    TemporaryFolder folder;
    WriteWholeFile(folder / "input", input);
    const ProgramRun run = RunProgram("python3", {kScript, command, folder / "input"});
    ParsedReport report;
    report.parsed = run.exitStatus == 0;
    report.error = run.err;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) report.lines.push_back(line);
    return report;
}

}  // namespace

std::vector<std::string> ParsedReport::With(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line.substr(prefix.size()));
    return found;
}

std::string ParsedReport::Text() const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

ParsedReport ParseHTMLReport(const std::string& page) {
    return RunReader("html", page);
}

ParsedReport ParseXMLReport(const std::string& document) {
    return RunReader("xml", document);
}

std::string InflateReport(const std::string& compressed, bool& ok) {
    TemporaryFolder folder;
    WriteWholeFile(folder / "input", compressed);
    const ProgramRun run = RunProgram("python3", {kScript, "inflate", folder / "input", folder / "output"});
    ok = run.exitStatus == 0;
    return ok ? ReadWholeFile(folder / "output") : std::string();
}
