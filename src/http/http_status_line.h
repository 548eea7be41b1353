// Reading an HTTP response's status line as a platform client hands it over.
#pragma once

#include "base/const_data.h"

// The text up to the first CR or LF (the whole text when there is none).
ConstData GetFirstLine(ConstData text);
// For a line beginning with "HTTP/" (any case): what follows the version token and the blanks after
// it, to the line's end ('HTTP/1.1 404 Not Found' gives '404 Not Found'); otherwise an empty range.
ConstData GetStatusAfterVersion(ConstData statusLine);
