// Result archives in tests: sections made and read back, the content of compressed streams, and the
// reports of the stored batches that relays send upward (formats/result_archive.h,
// formats/compressed_file.h). For the programs that link the formats layer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/const_data_reader.h"
#include "formats/compressed_file.h"
#include "formats/result_archive.h"
#include "foundation/data_stages.h"

// "PRFILE:" and the length, big-endian.
inline std::string SectionHeader(std::uint64_t length) {
    std::string header = "PRFILE:";
    for (int shift = 56; shift >= 0; shift -= 8) header += static_cast<char>((length >> shift) & 0xFF);
    return header;
}

inline std::string ArchiveOf(const std::vector<std::string>& reports) {
    std::string archive;
    for (const std::string& report : reports) archive += SectionHeader(report.size()) + report;
    return archive;
}

// The content of a "##SC001" stream.
inline std::string Inflated(const std::string& compressed) {
    ConstDataReader source{ConstData(std::string_view(compressed))};
    CompressedFileReader reader;
    reader.Open(source);
    std::string content;
    StringReceiver target(content);
    PumpData(reader, target);
    return content;
}

// The sections of a result archive.
inline std::vector<std::string> SectionsOf(const std::string& archive) {
    ConstDataReader source{ConstData(std::string_view(archive))};
    std::vector<std::string> sections;
    while (source.HasMore()) {
        ResultArchiveSectionReader section(source);
        std::string content;
        StringReceiver target(content);
        PumpData(section, target);
        sections.push_back(content);
    }
    return sections;
}

// The reports of a "##SN001" batch: each forwarded file is a compressed archive of reports.
inline std::vector<std::string> ReportsOfStoredBatch(const std::string& batch) {
    EXPECT_EQ(batch.substr(0, 8), std::string("##SN001\0", 8));
    std::vector<std::string> reports;
    for (const std::string& file : SectionsOf(batch.substr(12)))
        for (const std::string& report : SectionsOf(Inflated(file))) reports.push_back(report);
    return reports;
}
