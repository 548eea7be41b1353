// REGEDIT4 text: the form of every hive file and of the .reg files that kvrreg imports and exports,
// so that a Windows relay's exported settings can be imported as they are.
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Veltra\KVRRelay\HTTPServer]
//   "ThrottleKBPS"=dword:00000000
//   "ServerRootPath"="wwwroot"
//   "Stamp"=hex:01,02,03,04,05,06,07,08
//   @="the key's unnamed value"
//   "Other"=hex(7):61,00,00
//   "Gone"=-
//
//   [-HKEY_LOCAL_MACHINE\Software\Old]
//
// The first line is "REGEDIT4". A key line names a root (HKEY_LOCAL_MACHINE or HKLM, HKEY_CURRENT_USER
// or HKCU) and a path; "[-...]" deletes the key with everything below it. Value lines follow their
// key: a quoted name or "@", then "=" and a quoted string (escapes "\\" and "\""), "dword:" and up to
// 8 hex digits, "hex:" bytes (REG_BINARY) or "hex(N):" bytes of type N, or "-" to delete the value.
// Hex bytes are separated by commas and may continue on the next line after a "\". Lines starting
// with ";" are comments; LF and CRLF line ends are both read.
//
// The writer produces this form so that parsing it gives back exactly the same tree: a string holding
// a control byte other than tab, which cannot stand between quotes on one line, is written as
// "hex(1):" bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/exceptions.h"
#include "platform/registry_tree.h"

namespace PosixPlatform {

enum class RegistryRoot { LocalMachine, CurrentUser };

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
const char* RegistryRootName(RegistryRoot root);
// Accepts the long names and "HKLM" / "HKCU", ignoring case.
bool ParseRegistryRootName(std::string_view name, RegistryRoot& root);

// A .reg file that is not valid REGEDIT4; the message names the line and what is wrong.
class RegistryTextError : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// One key line of a .reg file with the value lines that follow it.
struct RegistryScriptValue {
    std::string name;
    bool remove = false;  // "name"=-
    RegistryType type = RegistryType::None;
    std::string data;
};

struct RegistryScriptKey {
    RegistryRoot root = RegistryRoot::LocalMachine;
    RegistryPath path;
    bool remove = false;  // [-...]
    std::vector<RegistryScriptValue> values;
};

using RegistryScript = std::vector<RegistryScriptKey>;

// Throws RegistryTextError; changes nothing anywhere.
RegistryScript ParseRegistryText(std::string_view text);

// Applies, in order, the keys of the script that belong to `root` to the tree of that hive.
void ApplyRegistryScript(const RegistryScript& script, RegistryRoot root, RegistryKeyNode& hive);

// The tree of a hive file's text. Throws RegistryTextError, also when a key lies in another hive.
RegistryKeyNode ParseRegistryHiveText(std::string_view text, RegistryRoot root);

// One value line: the name ("@" for the unnamed value), "=" and the data, and the line end.
void AppendRegistryValueText(std::string& text, const RegistryValue& value);

// "REGEDIT4" and a blank line.
std::string RegistryTextHeader();
// Appends `key`, found at `path` in the hive of `root`, and every key below it, each key line
// followed by its values and a blank line. The line of the hive's root itself is left out when it
// holds no values.
void AppendRegistryText(std::string& text, const RegistryKeyNode& key, RegistryRoot root,
                        const RegistryPath& path);

}  // namespace PosixPlatform
