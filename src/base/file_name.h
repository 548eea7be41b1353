// FileName: one validated path component, the unit that directory scans hand out and that child
// locations are built from.
//
// A name is 1 to 257 bytes long, is neither "." nor "..", and holds no byte below 32 and none of
// " * / : < > ? \ |. Bytes of 128 and above are allowed (names are UTF-8 by convention). Every
// constructor from text validates; an empty name exists only as the default value. Names on Linux may
// legally hold ':' and the like: such a name is no FileName, and the scans skip it.
//
// A value type: copy it freely, share nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/const_data.h"
#include "base/exceptions.h"
#include "base/stringy.h"

class IllegalFileName : public DebuggableException {};
class IllegalFileNameLength : public DebuggableException {};

class FileName {
  public:
    static constexpr std::size_t kMaximumLength = 257;
    static constexpr std::size_t kMaximumConcatenatedLength = 256;

    FileName() = default;
    // A null text gives the empty name.
    explicit FileName(const char* text);
    FileName(const char* text, std::size_t length);
    explicit FileName(ConstData text);

    // Back to the empty name.
    void Reset() { m_text = Stringy(); }

    bool IsEmpty() const { return m_text.IsNull(); }
    std::size_t Length() const { return m_text.Length(); }
    const char* CString() const { return m_text.GetCString(); }
    ConstData GetConstData() const { return m_text.GetConstData(); }
    std::string ToString() const { return std::string(GetConstData().View()); }

    // True when the name begins with `text`, byte for byte or ignoring ASCII case.
    bool StartsWith(const char* text, bool ignoreCase) const;

    friend bool operator==(const FileName&, const FileName&) = default;

  private:
    Stringy m_text;
};

// True when `text` is a valid name (what the constructors accept).
bool IsValidFileName(std::string_view text);

// A name with text put before or after it; the result is validated as a whole and may be at most
// 256 bytes long (IllegalFileName otherwise).
FileName ConcatenateTextAndFileName(const char* text, const FileName& name);
FileName ConcatenateFileNameAndText(const FileName& name, const char* text);
