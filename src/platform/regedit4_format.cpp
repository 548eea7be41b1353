#include "platform/regedit4_format.h"

#include <cstdint>

#include "base/character_classes.h"
#include "base/numerals.h"

namespace PosixPlatform {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
// Hex byte lines are cut before this column, as regedit does.
constexpr std::size_t kHexLineWidth = 77;

bool IsHexDigit(char c) {
    return Ascii::HexDigits().Contains(static_cast<unsigned char>(c));
}

// A byte that cannot stand between quotes: a line holds one value, and a tab is kept as it is.
bool IsUnquotable(char c) {
    return c != '\t' && Ascii::Control().Contains(static_cast<unsigned char>(c));
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && RegistryNamesEqual(text.substr(0, prefix.size()), prefix);
}

// Reads a .reg text line by line, keeping the line number for error messages. Hostile input is
// expected: every read is bounded by the current line and every failure throws RegistryTextError.
class RegistryTextParser {
  public:
    explicit RegistryTextParser(std::string_view text) : m_rest(text) {}

    RegistryScript Parse() {
        ReadHeader();
        RegistryScript script;
        while (NextLine()) {
            std::string_view line = Ascii::TrimBlanks(m_line);
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[') {
                script.push_back(ParseKeyLine(line));
            } else if (line.front() == '"' || line.front() == '@') {
                if (script.empty()) Fail("a value before the first key");
                if (script.back().remove) Fail("a value under a deleted key");
                m_line = line;
                script.back().values.push_back(ParseValueLine());
            } else {
                Fail("neither a key nor a value");
            }
        }
        return script;
    }

  private:
    [[noreturn]] void Fail(const std::string& reason) {
        throw RegistryTextError("line " + std::to_string(m_lineNumber) + ": " + reason);
    }

    bool NextLine() {
        if (m_rest.empty()) return false;
        std::size_t end = m_rest.find('\n');
        m_line = m_rest.substr(0, end);
        m_rest.remove_prefix(end == std::string_view::npos ? m_rest.size() : end + 1);
        if (!m_line.empty() && m_line.back() == '\r') m_line.remove_suffix(1);
        ++m_lineNumber;
        return true;
    }

    void ReadHeader() {
        if (m_rest.starts_with("\xFF\xFE") || m_rest.starts_with("\xFE\xFF"))
            Fail("UTF-16 text: export the keys from regedit as \"Win9x/NT4 Registration Files\" (REGEDIT4)");
        if (m_rest.starts_with(kUtf8ByteOrderMark)) m_rest.remove_prefix(kUtf8ByteOrderMark.size());
        if (!NextLine() || Ascii::TrimBlanks(m_line) != kHeader) Fail("the first line is not REGEDIT4");
    }

    RegistryScriptKey ParseKeyLine(std::string_view line) {
        if (line.back() != ']') Fail("a key line must end with ']'");
        std::string_view name = line.substr(1, line.size() - 2);
        RegistryScriptKey key;
        if (!name.empty() && name.front() == '-') {
            key.remove = true;
            name.remove_prefix(1);
        }
        std::size_t separator = name.find('\\');
        std::string_view rootName = name.substr(0, separator);
        if (!ParseRegistryRootName(rootName, key.root))
            Fail("unknown root key '" + std::string(rootName) +
                 "' (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)");
        std::string_view path =
            separator == std::string_view::npos ? std::string_view() : name.substr(separator + 1);
        if (!ParseRegistryPath(path, key.path)) Fail("invalid key path");
        if (key.remove && key.path.empty()) Fail("a root key cannot be deleted");
        return key;
    }

    RegistryScriptValue ParseValueLine() {
        m_position = 0;
        RegistryScriptValue value;
        if (m_line.front() == '@') {
            m_position = 1;
        } else {
            value.name = ReadQuoted();
            if (!IsValidRegistryValueName(value.name)) Fail("invalid value name");
        }
        SkipBlanks();
        if (!Take('=')) Fail("'=' expected after the value name");
        SkipBlanks();
        if (Take('-')) {
            value.remove = true;
        } else if (Peek() == '"') {
            value.type = RegistryType::String;
            value.data = ReadQuoted();
        } else if (TakeWord("dword:")) {
            value.type = RegistryType::DWord;
            value.data = ReadDWord();
        } else if (TakeWord("hex:")) {
            value.type = RegistryType::Binary;
            value.data = ReadHexBytes();
        } else if (TakeWord("hex(")) {
            value.type = static_cast<RegistryType>(ReadHexDigits(8));
            if (!Take(')') || !Take(':')) Fail("\"hex(N):\" expected");
            value.data = ReadHexBytes();
        } else {
            Fail("unknown value data");
        }
        SkipBlanks();
        if (!AtLineEnd()) Fail("unexpected text after the value");
        return value;
    }

    bool AtLineEnd() const { return m_position == m_line.size(); }
    char Peek() const { return AtLineEnd() ? '\0' : m_line[m_position]; }
    bool Take(char c) {
        if (AtLineEnd() || m_line[m_position] != c) return false;
        ++m_position;
        return true;
    }
    bool TakeWord(std::string_view word) {
        if (!StartsWithIgnoringCase(m_line.substr(m_position), word)) return false;
        m_position += word.size();
        return true;
    }
    void SkipBlanks() {
        while (!AtLineEnd() && Ascii::IsBlank(m_line[m_position])) ++m_position;
    }

    std::string ReadQuoted() {
        if (!Take('"')) Fail("'\"' expected");
        std::string text;
        for (;;) {
            if (AtLineEnd()) Fail("missing closing '\"'");
            char c = m_line[m_position++];
            if (c == '"') return text;
            if (c == '\\') {
                if (AtLineEnd() || (Peek() != '\\' && Peek() != '"')) Fail("only \\\\ and \\\" are escapes");
                c = m_line[m_position++];
            } else if (IsUnquotable(c)) {
                Fail("a control byte inside quotes");
            }
            text += c;
        }
    }

    // Up to `limit` hex digits, at least one.
    std::uint32_t ReadHexDigits(std::size_t limit) {
        std::uint32_t number = 0;
        std::size_t count = 0;
        for (; count < limit && IsHexDigit(Peek()); ++count, ++m_position)
            number = number << 4 | HexDigitValue(static_cast<Byte>(Peek()));
        if (count == 0) Fail("hex digits expected");
        if (IsHexDigit(Peek())) Fail("too many hex digits");
        return number;
    }

    std::string ReadDWord() { return DWordData(ReadHexDigits(8)); }

    // Bytes "01,02,..."; a "\" at the end of a line continues the list on the next line.
    std::string ReadHexBytes() {
        std::string bytes;
        for (;;) {
            SkipBlanks();
            if (AtLineEnd()) return bytes;
            if (Take('\\')) {
                SkipBlanks();
                if (!AtLineEnd()) Fail("text after the line continuation");
                if (!NextLine()) Fail("the file ends after a line continuation");
                m_position = 0;
                continue;
            }
            bytes += static_cast<char>(ReadHexDigits(2));
            SkipBlanks();
            if (!Take(',') && !AtLineEnd() && Peek() != '\\') Fail("',' expected between bytes");
        }
    }

    std::string_view m_rest;
    std::string_view m_line;
    std::size_t m_position = 0;
    unsigned m_lineNumber = 0;
};

void AppendQuoted(std::string& text, std::string_view raw) {
    text += '"';
    for (char c : raw) {
        if (c == '\\' || c == '"') text += '\\';
        text += c;
    }
    text += '"';
}

bool FitsBetweenQuotes(std::string_view data) {
    for (char c : data)
        if (IsUnquotable(c)) return false;
    return true;
}

void AppendHexBytes(std::string& text, std::string_view data, std::size_t column) {
    for (std::size_t i = 0; i < data.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(data[i]);
        text += HexDigitChar(byte >> 4);
        text += HexDigitChar(byte & 15);
        column += 2;
        if (i + 1 == data.size()) break;
        text += ',';
        if (++column >= kHexLineWidth) {
            text += "\\\n  ";
            column = 2;
        }
    }
}

}  // namespace

const char* RegistryRootName(RegistryRoot root) {
    return root == RegistryRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool ParseRegistryRootName(std::string_view name, RegistryRoot& root) {
    if (RegistryNamesEqual(name, "HKEY_LOCAL_MACHINE") || RegistryNamesEqual(name, "HKLM")) {
        root = RegistryRoot::LocalMachine;
        return true;
    }
    if (RegistryNamesEqual(name, "HKEY_CURRENT_USER") || RegistryNamesEqual(name, "HKCU")) {
        root = RegistryRoot::CurrentUser;
        return true;
    }
    return false;
}

RegistryScript ParseRegistryText(std::string_view text) {
    return RegistryTextParser(text).Parse();
}

void ApplyRegistryScript(const RegistryScript& script, RegistryRoot root, RegistryKeyNode& hive) {
    for (const RegistryScriptKey& key : script) {
        if (key.root != root) continue;
        if (key.remove) {
            RegistryPath parentPath(key.path.begin(), key.path.end() - 1);
            if (RegistryKeyNode* parent = hive.FindKey(parentPath)) parent->DeleteSubkey(key.path.back());
            continue;
        }
        RegistryKeyNode& node = hive.EnsureKey(key.path);
        for (const RegistryScriptValue& value : key.values) {
            if (value.remove)
                node.DeleteValue(value.name);
            else
                node.SetValue(value.name, value.type, value.data);
        }
    }
}

RegistryKeyNode ParseRegistryHiveText(std::string_view text, RegistryRoot root) {
    RegistryScript script = ParseRegistryText(text);
    for (const RegistryScriptKey& key : script)
        if (key.root != root)
            throw RegistryTextError(std::string("a key outside ") + RegistryRootName(root) + ": " +
                                    RegistryRootName(key.root) + "\\" + RegistryPathText(key.path));
    RegistryKeyNode hive(RegistryRootName(root));
    ApplyRegistryScript(script, root, hive);
    return hive;
}

void AppendRegistryValueText(std::string& text, const RegistryValue& value) {
    std::size_t lineStart = text.size();
    if (value.name.empty())
        text += '@';
    else
        AppendQuoted(text, value.name);
    text += '=';
    if (value.type == RegistryType::String && FitsBetweenQuotes(value.data)) {
        AppendQuoted(text, value.data);
    } else if (std::uint32_t number; value.type == RegistryType::DWord && DWordFromData(value.data, number)) {
        text += "dword:";
        text += FormatHexDigits(number, 8).View();
    } else {
        if (value.type == RegistryType::Binary) {
            text += "hex:";
        } else {
            text += "hex(";
            text += FormatHexDigits(static_cast<std::uint32_t>(value.type), 1).View();
            text += "):";
        }
        AppendHexBytes(text, value.data, text.size() - lineStart);
    }
    text += '\n';
}

std::string RegistryTextHeader() {
    return std::string(kHeader) + "\n\n";
}

void AppendRegistryText(std::string& text, const RegistryKeyNode& key, RegistryRoot root,
                        const RegistryPath& path) {
    if (!path.empty() || !key.Values().empty()) {
        text += '[';
        text += RegistryRootName(root);
        for (const std::string& name : path) {
            text += '\\';
            text += name;
        }
        text += "]\n";
        for (const RegistryValue& value : key.Values()) AppendRegistryValueText(text, value);
        text += '\n';
    }
    RegistryPath subkeyPath = path;
    for (std::size_t i = 0; i < key.SubkeyCount(); ++i) {
        const RegistryKeyNode& subkey = key.SubkeyAt(i);
        subkeyPath.push_back(subkey.Name());
        AppendRegistryText(text, subkey, root, subkeyPath);
        subkeyPath.pop_back();
    }
}

}  // namespace PosixPlatform
