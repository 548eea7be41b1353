#include "relay/post/numbered_file_directory.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "base/numerals.h"
#include "foundation/directory_iterator.h"

namespace {

constexpr unsigned kNameDigits = 16;

// The number a name stands for: its text up to the first ".", read as hexadecimal. None for another
// name, and for the largest number, after which no name is left.
std::optional<std::uint64_t> NumberOfName(ConstData name) {
    const Byte* dot = std::find(name.begin, name.end, Byte('.'));
    std::uint64_t value = 0;
    if (ParseHexUInt64(ConstData(name.begin, dot), value) != NumeralStatus::Success) return std::nullopt;
    if (value == std::numeric_limits<std::uint64_t>::max()) return std::nullopt;
    return value;
}

}  // namespace

FileName NumberedFileName(std::uint64_t number) {
    return FileName(FormatHexDigits(number, kNameDigits).GetConstData());
}

NumberedFileDirectory::NumberedFileDirectory(FileLocation directory) : m_directory(std::move(directory)) {
    Scan(m_directory);
}

FileLocation NumberedFileDirectory::NextFile() {
    CriticalSectionGuard guard(m_lock);
    return FileLocation(m_directory, NumberedFileName(m_next++));
}

void NumberedFileDirectory::Scan(const FileLocation& directory) {
    CriticalSectionGuard guard(m_lock);
    for (DirectoryScan scan(directory); scan.IsValid(); scan.Next()) {
        const FileName name = scan.Current().GetFileName();
        if (const std::optional<std::uint64_t> number = NumberOfName(name.GetConstData()))
            m_next = std::max(m_next, *number + 1);
    }
}
