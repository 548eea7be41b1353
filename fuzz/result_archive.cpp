// Hostile result archives read section by section: reading fails only with FormatError or
// NoMoreData, and a fully read archive accounts for every input byte.

#include <cstdint>
#include <cstdlib>

#include "base/const_data_reader.h"
#include "formats/result_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConstDataReader reader(ConstData(data, size));
    std::uint64_t accounted = 0;
    try {
        while (reader.HasMore()) {
            ResultArchiveSectionReader section(reader);
            Byte buffer[512];
            while (section.HasMore()) {
                OutputRange free(buffer, sizeof buffer);
                section.ReadSome(free);
            }
            if (section.Remaining() != 0) return 0;
            accounted += 15 + section.Length();
        }
    } catch (const FormatError&) {
        return 0;
    } catch (const NoMoreData&) {
        return 0;
    }
    if (accounted != size) std::abort();
    return 0;
}
