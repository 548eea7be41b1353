// Hostile differences through both readers of the format, the streaming parser with its expander and
// the block applier of update archives, over a fixed old file: they fail only with exceptions of the
// relay's own, never produce more than the size they are given, and agree with each other on every
// difference that both accept. Input: the first byte is the size limit of the new file, the rest the
// difference.

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>

#include "base/const_data_reader.h"
#include "formats/binary_difference.h"
#include "foundation/data_stages.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

struct Scratch {
    Scratch() : folder(GetSystemTemporaryDirectory()) {
        WriteWholeFile(ConstData(std::string_view("0123456789abcdefghijklmnopqrstuvwxyz")), OldFile());
    }
    FileLocation OldFile() const { return folder.GetLocation().MakeChild("old"); }
    FileLocation NewFile() const { return folder.GetLocation().MakeChild("new"); }

    TemporaryDirectoryLocation folder;
};

const Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

std::optional<std::string> Streamed(ConstData difference, std::uint64_t limit) {
    PosixPlatform::FileReadingPath old(TheScratch().OldFile());
    FileReader oldFile(old);
    std::string produced;
    StringReceiver output(produced);
    DifferenceExpander expander(oldFile, output, limit);
    DifferenceMaker maker(expander);
    try {
        ReceiveComplete(maker, difference);
    } catch (const std::exception&) {
        Check(produced.size() <= limit);
        return std::nullopt;
    }
    Check(produced.size() <= limit);
    return produced;
}

std::optional<std::string> Applied(ConstData difference, std::uint64_t limit) {
    PosixPlatform::FileReadingPath old(TheScratch().OldFile());
    FileReader oldFile(old);
    PosixPlatform::FileWritingPath written(TheScratch().NewFile());
    FileWriter output(written, 0);
    std::string digested;
    StringReceiver digest(digested);
    digest.Begin();
    ConstDataReader source(difference);
    try {
        ApplyDifferenceBlock(source, difference.Length(), oldFile, output, digest, limit);
    } catch (const std::exception&) {
        Check(digested.size() <= limit);
        return std::nullopt;
    }
    Check(digested.size() <= limit && written.GetSize() == digested.size());
    return digested;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint64_t limit = data[0];
    const ConstData difference(data + 1, size - 1);
    const std::optional<std::string> streamed = Streamed(difference, limit);
    const std::optional<std::string> applied = Applied(difference, limit);
    if (streamed && applied) Check(*streamed == *applied);
    return 0;
}
