// Finding a field in a response head held as text, folded continuation lines included.
#pragma once

#include <string_view>

#include "base/const_data.h"

// The whole field `name` (given with or without its ":", in any case) in the head: from its name,
// which must stand at the head's start or right after a CR or LF, to the end of its last line, over
// the continuation lines that begin with a space or tab (their line breaks included). An empty range
// when the head has no such field.
ConstData FindHeaderField(ConstData head, std::string_view name);
// The field's value: from just after its colon (leading blanks kept) to the end of the field; an
// empty range when the field is absent or holds nothing after its colon.
ConstData GetHeaderFieldValue(ConstData head, std::string_view name);
