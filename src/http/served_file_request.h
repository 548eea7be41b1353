// The rules that turn a static-file request into what to serve: the file its path names under the
// server root, and where its "Range" header asks the reply to start. Both read network input and
// never throw on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/const_data.h"
#include "base/file_location.h"

// The file that a request path names under `root`. The path's segments (one leading "/" dropped,
// split at "/") are taken in order; of each only its name counts, the text before its first ";", and
// that name is URL-decoded and appended as one more component. Empty and "." names stand for the
// folder they are in. Symbolic links below the root are followed when the file is opened, as long as
// they stay inside it (FileReadingPath::OpenBeneath). An unset root stays unset: it serves nothing.
//
// Nothing (a bad request) when a decoded name is "..", holds a "/", a "\" or a control byte (NUL
// included, which would cut the path short in the system calls), or can't be a file name at all
// (file_name.h), so the location never leaves the root.
std::optional<FileLocation> ResolveServedFilePath(const FileLocation& root, ConstData path);

// The components ResolveServedFilePath appends for the path, decoded, empty and "." names left out:
// "/a;x/%62/./c" gives "a", "b", "c". Nothing for a path it refuses. Two paths with the same names
// serve the same file.
std::optional<std::vector<std::string>> ServedPathNames(ConstData path);

// Where a reply to a request with this "Range" value starts: the numeral between "bytes=" and the
// first "-", white space trimmed. 0 (the whole file) for an empty value, another unit, a suffix range
// ("bytes=-500") and any start that is not a decimal numeral that fits 64 bits. The end of the range
// and further ranges are ignored.
std::uint64_t RangeStart(ConstData range);
