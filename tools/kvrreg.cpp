// kvrreg: reads and edits the relay's registry hives, with the same locking as the relay itself.
// What regedit is to an administrator on Windows; `kvrreg --help` lists the commands.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "platform/registry.h"

using namespace PosixPlatform;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char* kHelp =
    "usage: kvrreg COMMAND ARGUMENTS\n"
    "\n"
    "Reads and edits the relay's registry: REGEDIT4 files in $VELTRA_REGISTRY_DIR\n"
    "(default /var/lib/veltra/registry), HKLM.reg for the machine and HKCU-<uid>.reg for the user.\n"
    "\n"
    "Commands:\n"
    "  get KEY [VALUE]          print a value's data (a string as it is, a DWORD in decimal,\n"
    "                           other types as hex bytes), or without VALUE every value of the key\n"
    "                           as .reg lines\n"
    "  set KEY VALUE TYPE DATA  set a value, creating the key when missing; TYPE is string, dword\n"
    "                           (DATA decimal or 0x hex) or binary (DATA hex bytes, as 01,02,ff)\n"
    "  delete KEY [VALUE]       delete a value, or without VALUE a key that has no subkeys\n"
    "  list KEY                 print the names of the key's subkeys\n"
    "  import FILE.reg          apply a REGEDIT4 file (\"-\" reads standard input); a file with an\n"
    "                           error changes nothing\n"
    "  export [KEY]             print the key and everything below it, or both hives, as REGEDIT4\n"
    "  --help                   print this text\n"
    "\n"
    "KEY starts with its root, HKEY_LOCAL_MACHINE (HKLM) or HKEY_CURRENT_USER (HKCU), as in\n"
    "HKLM\\Software\\Veltra\\KVRRelay\\HTTPServer; names ignore case. VALUE \"@\" is the unnamed value.\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class CommandFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct KeyName {
    RegistryRoot root;
    std::string path;
    std::string text;
};

KeyName ParseKeyName(const std::string& text) {
    KeyName key{RegistryRoot::LocalMachine, "", text};
    std::size_t separator = text.find('\\');
    if (!ParseRegistryRootName(std::string_view(text).substr(0, separator), key.root))
        throw UsageError("a key starts with HKEY_LOCAL_MACHINE, HKLM, HKEY_CURRENT_USER or HKCU: " + text);
    if (separator != std::string::npos) key.path = text.substr(separator + 1);
    return key;
}

std::string ValueName(const std::string& argument) {
    return argument == "@" ? "" : argument;
}

[[noreturn]] void Fail(int code, RegistryRoot root, const std::string& what) {
    std::string reason = code == ENOENT ? "not found" : std::strerror(code);
    if (code == kRegistryHiveUnparsable) {
        std::shared_ptr<RegistryHive> hive = RegistryHive::Of(root);
        reason = hive->Path() + " cannot be parsed: " + hive->ParseFailure();
    } else if (code == ENOTEMPTY) {
        reason = "the key has subkeys; delete those first";
    } else if (code == EINVAL) {
        reason = "invalid key or value name";
    }
    throw CommandFailure(what + ": " + reason);
}

RegistryKeyHandle OpenKey(const KeyName& key) {
    RegistryKeyHandle handle;
    if (int result = RegistryKeyHandle::Open(key.root, key.path, RegistryAccess::Read, handle))
        Fail(result, key.root, key.text);
    return handle;
}

std::string HexBytes(std::string_view data) {
    std::string text;
    for (unsigned char byte : data) {
        if (!text.empty()) text += ',';
        text += HexDigitChar(byte >> 4);
        text += HexDigitChar(byte & 15);
    }
    return text;
}

std::string DataText(RegistryType type, const std::string& data) {
    std::uint32_t number;
    if (type == RegistryType::String) return data;
    if (type == RegistryType::DWord && DWordFromData(data, number)) return std::to_string(number);
    return HexBytes(data);
}

int Get(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.size() > 2) throw UsageError("get KEY [VALUE]");
    KeyName key = ParseKeyName(arguments[0]);
    RegistryKeyHandle handle = OpenKey(key);
    if (arguments.size() == 2) {
        RegistryType type;
        std::string data;
        if (int result = handle.QueryValue(ValueName(arguments[1]), type, data))
            Fail(result, key.root, key.text + " " + arguments[1]);
        std::cout << DataText(type, data) << '\n';
        return 0;
    }
    std::shared_ptr<const RegistryKeyNode> node;
    if (int result = handle.Snapshot(node)) Fail(result, key.root, key.text);
    std::string text;
    for (const RegistryValue& value : node->Values()) AppendRegistryValueText(text, value);
    std::cout << text;
    return 0;
}

std::uint32_t ParseDWord(const std::string& text) {
    std::string_view digits = text;
    std::uint64_t number = 0;
    NumeralStatus status = digits.starts_with("0x") || digits.starts_with("0X")
                               ? ParseHexUInt64(ConstData(digits.substr(2)), number)
                               : ParseDecimalUInt64(ConstData(digits), number);
    if (status != NumeralStatus::Success || number > 0xFFFFFFFF)
        throw UsageError("a dword is a decimal or 0x hex number up to 4294967295: " + text);
    return static_cast<std::uint32_t>(number);
}

bool IsHexDigit(char c) {
    return Ascii::HexDigits().Contains(static_cast<unsigned char>(c));
}

// "01,02,ff" or "0102ff".
std::string ParseHexBytes(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == ',') {
            ++i;
            continue;
        }
        if (i + 1 == text.size() || !IsHexDigit(text[i]) || !IsHexDigit(text[i + 1]))
            throw UsageError("binary data is hex bytes such as 01,02,ff: " + text);
        bytes += static_cast<char>(HexDigitValue(text[i]) << 4 | HexDigitValue(text[i + 1]));
        i += 2;
    }
    return bytes;
}

int Set(const std::vector<std::string>& arguments) {
    if (arguments.size() != 4) throw UsageError("set KEY VALUE TYPE DATA");
    KeyName key = ParseKeyName(arguments[0]);
    const std::string& type = arguments[2];
    const std::string& data = arguments[3];
    RegistryValue value{ValueName(arguments[1]), RegistryType::String, data};
    if (RegistryNamesEqual(type, "string") || RegistryNamesEqual(type, "REG_SZ")) {
        value.type = RegistryType::String;
    } else if (RegistryNamesEqual(type, "dword") || RegistryNamesEqual(type, "REG_DWORD")) {
        value.type = RegistryType::DWord;
        value.data = DWordData(ParseDWord(data));
    } else if (RegistryNamesEqual(type, "binary") || RegistryNamesEqual(type, "REG_BINARY")) {
        value.type = RegistryType::Binary;
        value.data = ParseHexBytes(data);
    } else {
        throw UsageError("TYPE is string, dword or binary: " + type);
    }
    if (!IsValidRegistryValueName(value.name)) Fail(EINVAL, key.root, arguments[1]);
    int result = UpdateRegistryKey(key.root, key.path, [&](RegistryKeyNode& node) {
        node.SetValue(value.name, value.type, value.data);
        return 0;
    });
    if (result) Fail(result, key.root, key.text);
    return 0;
}

int Delete(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.size() > 2) throw UsageError("delete KEY [VALUE]");
    KeyName key = ParseKeyName(arguments[0]);
    if (arguments.size() == 2) {
        RegistryKeyHandle handle;
        int result = RegistryKeyHandle::Open(key.root, key.path, RegistryAccess::ReadWrite, handle);
        if (result == 0) result = handle.DeleteValue(ValueName(arguments[1]));
        if (result) Fail(result, key.root, key.text + " " + arguments[1]);
        return 0;
    }
    RegistryPath path;
    if (!ParseRegistryPath(key.path, path)) Fail(EINVAL, key.root, key.text);
    if (path.empty()) throw UsageError("a root key cannot be deleted");
    std::string name = path.back();
    path.pop_back();
    RegistryKeyHandle parent;
    int result = RegistryKeyHandle::Open(key.root, RegistryPathText(path), RegistryAccess::ReadWrite, parent);
    if (result == 0) result = parent.DeleteSubkey(name);
    if (result) Fail(result, key.root, key.text);
    return 0;
}

int List(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) throw UsageError("list KEY");
    KeyName key = ParseKeyName(arguments[0]);
    std::shared_ptr<const RegistryKeyNode> node;
    if (int result = OpenKey(key).Snapshot(node)) Fail(result, key.root, key.text);
    for (std::size_t i = 0; i < node->SubkeyCount(); ++i) std::cout << node->SubkeyAt(i).Name() << '\n';
    return 0;
}

std::string ReadInput(const std::string& file) {
    if (file == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    std::ifstream in(file, std::ios::binary);
    if (!in) throw CommandFailure(file + ": " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int Import(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1) throw UsageError("import FILE.reg");
    RegistryScript script;
    try {
        script = ParseRegistryText(ReadInput(arguments[0]));
    } catch (const RegistryTextError& error) {
        throw CommandFailure(arguments[0] + ": " + error.what());
    }
    // Each hive takes its part of the file in one transaction.
    for (RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
        bool touched = false;
        for (const RegistryScriptKey& key : script) touched = touched || key.root == root;
        if (!touched) continue;
        int result = RegistryHive::Of(root)->Update([&](RegistryKeyNode& hive) {
            ApplyRegistryScript(script, root, hive);
            return 0;
        });
        if (result) Fail(result, root, std::string(RegistryRootName(root)) + " not written");
    }
    return 0;
}

void AppendExport(std::string& text, const KeyName& key) {
    RegistryPath path;
    if (!ParseRegistryPath(key.path, path)) Fail(EINVAL, key.root, key.text);
    std::shared_ptr<const RegistryKeyNode> hive;
    if (int result = RegistryHive::Of(key.root)->Read(hive)) Fail(result, key.root, key.text);
    const RegistryKeyNode* node = hive.get();
    for (std::string& name : path) {  // written as the hive spells it
        node = node->FindSubkey(name);
        if (!node) Fail(ENOENT, key.root, key.text);
        name = node->Name();
    }
    AppendRegistryText(text, *node, key.root, path);
}

int Export(const std::vector<std::string>& arguments) {
    if (arguments.size() > 1) throw UsageError("export [KEY]");
    std::string text = RegistryTextHeader();
    if (arguments.empty()) {
        AppendExport(text, ParseKeyName("HKEY_LOCAL_MACHINE"));
        AppendExport(text, ParseKeyName("HKEY_CURRENT_USER"));
    } else {
        AppendExport(text, ParseKeyName(arguments[0]));
    }
    std::cout << text;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + std::min(argc, 2), argv + argc);
    std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << kHelp;
            return 0;
        }
        if (command == "get") return Get(arguments);
        if (command == "set") return Set(arguments);
        if (command == "delete") return Delete(arguments);
        if (command == "list") return List(arguments);
        if (command == "import") return Import(arguments);
        if (command == "export") return Export(arguments);
        throw UsageError(command.empty() ? "no command" : "unknown command " + command);
    } catch (const UsageError& error) {
        std::cerr << "kvrreg: " << error.what() << "\n(kvrreg --help lists the commands)\n";
        return kExitUsage;
    } catch (const CommandFailure& error) {
        std::cerr << "kvrreg: " << error.what() << '\n';
        return kExitFailure;
    }
}
