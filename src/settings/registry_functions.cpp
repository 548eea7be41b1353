#include "settings/registry_functions.h"

#include <cstring>
#include <string>

#include "platform/system_error.h"

using PosixPlatform::RegistryKeyNode;

namespace {

constexpr std::uint32_t kNumber64Size = 8;

std::string_view TextOf(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

// Reads one value as RegQueryValueEx would: the size is always set to the stored size; the data is
// copied when a buffer is given and large enough, else ERANGE. A wrong type is reported as success
// with that type; the callers check it.
int QueryInto(const RegistryKey& key, const char* name, RegistryType& type, void* buffer,
              std::uint32_t& size) {
    std::string data;
    if (int result = key.QueryValue(TextOf(name), type, data)) return result;
    std::uint32_t room = size;
    size = static_cast<std::uint32_t>(data.size());
    if (!buffer) return 0;
    if (data.size() > room) return ERANGE;
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    return 0;
}

bool ReadTyped(RegistryRoot root, const char* subkey, const char* name, RegistryType wanted, void* buffer,
               std::uint32_t& size) {
    RegistryKey key;
    if (TryOpenRegistryKey(root, subkey, key, RegistryAccess::Read) != 0) return false;
    RegistryType type;
    return QueryInto(key, name, type, buffer, size) == 0 && type == wanted;
}

bool WriteValue(RegistryRoot root, const char* subkey, const char* name, RegistryType type,
                std::string_view data) {
    std::string_view valueName = TextOf(name);
    if (!PosixPlatform::IsValidRegistryValueName(valueName)) return false;
    return PosixPlatform::UpdateRegistryKey(root, TextOf(subkey), [&](RegistryKeyNode& key) {
               key.SetValue(valueName, type, data);
               return 0;
           }) == 0;
}

// The text up to its first NUL: a string stored with its terminator reads like one stored without.
Stringy TextOfData(const std::string& data) {
    return Stringy(data.c_str());
}

}  // namespace

bool EnsureRegistryKey(RegistryRoot root, const char* subkey) {
    RegistryKey key;
    return TryOpenRegistryKey(root, subkey, key, RegistryAccess::Read) == 0 ||
           CreateRegistryKey(root, subkey);
}

bool CreateRegistryKey(RegistryRoot root, const char* subkey) {
    RegistryKey key;
    return RegistryKey::Create(root, TextOf(subkey), key) == 0;
}

bool ReadRegistryBinary(RegistryRoot root, const char* subkey, const char* name, void* buffer,
                        std::uint32_t& size) {
    return ReadTyped(root, subkey, name, RegistryType::Binary, buffer, size);
}

bool ReadRegistryStringRaw(RegistryRoot root, const char* subkey, const char* name, void* buffer,
                           std::uint32_t& size) {
    return ReadTyped(root, subkey, name, RegistryType::String, buffer, size);
}

bool ReadRegistryDWORDRaw(RegistryRoot root, const char* subkey, const char* name, void* buffer,
                          std::uint32_t& size) {
    return ReadTyped(root, subkey, name, RegistryType::DWord, buffer, size);
}

// A buffer of 0 bytes has no room even for the NUL; it fails rather than underflow.
bool ReadRegistryString(RegistryRoot root, const char* subkey, const char* name, char* buffer,
                        std::uint32_t& size) {
    if (!buffer) {
        if (!ReadRegistryStringRaw(root, subkey, name, nullptr, size)) return false;
        ++size;
        return true;
    }
    if (size == 0) return false;
    std::uint32_t stored = size - 1;
    if (!ReadRegistryStringRaw(root, subkey, name, buffer, stored)) return false;
    buffer[stored] = '\0';
    size = static_cast<std::uint32_t>(std::strlen(buffer));
    return true;
}

// A REG_DWORD of another size than 4 bytes (possible in a hand-written hive) is refused instead of
// filling part of the number.
bool ReadRegistryDWORD(RegistryRoot root, const char* subkey, const char* name, int& value) {
    std::uint32_t size = 4;
    unsigned char bytes[4];
    if (!ReadRegistryDWORDRaw(root, subkey, name, bytes, size) || size != 4) return false;
    std::uint32_t number;
    PosixPlatform::DWordFromData(std::string_view(reinterpret_cast<char*>(bytes), 4), number);
    value = static_cast<int>(number);
    return true;
}

bool ReadRegistryNumber64(RegistryRoot root, const char* subkey, const char* name, std::uint64_t& value) {
    unsigned char bytes[kNumber64Size];
    std::uint32_t size = kNumber64Size;
    if (!ReadRegistryBinary(root, subkey, name, bytes, size) || size != kNumber64Size) return false;
    value = 0;
    for (int i = kNumber64Size - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return true;
}

bool WriteRegistryNumber64(RegistryRoot root, const char* subkey, const char* name, std::uint64_t value) {
    unsigned char bytes[kNumber64Size];
    for (std::uint32_t i = 0; i < kNumber64Size; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    return WriteRegistryBinary(root, subkey, name, bytes, kNumber64Size);
}

// Every write is on disk when it returns, so `flush` asks for nothing more. (A failed write is a
// failure also when a flush is asked for.)
bool WriteRegistryDWORD(RegistryRoot root, const char* subkey, const char* name, std::uint32_t value,
                        bool flush) {
    return WriteValue(root, subkey, name, RegistryType::DWord, PosixPlatform::DWordData(value));
}

bool WriteRegistryBinary(RegistryRoot root, const char* subkey, const char* name, const void* bytes,
                         std::uint32_t count) {
    return WriteValue(root, subkey, name, RegistryType::Binary,
                      std::string_view(static_cast<const char*>(bytes), bytes ? count : 0));
}

bool WriteRegistryString(RegistryRoot root, const char* subkey, const char* name, const char* text) {
    return WriteValue(root, subkey, name, RegistryType::String, TextOf(text));
}

RegistryKey OpenRegistryKey(RegistryRoot root, const char* subkey, RegistryAccess access) {
    RegistryKey key;
    if (int result = TryOpenRegistryKey(root, subkey, key, access)) throw Posix::Error(result);
    return key;
}

int TryOpenRegistryKey(RegistryRoot root, const char* subkey, RegistryKey& key, RegistryAccess access) {
    return RegistryKey::Open(root, TextOf(subkey), access, key);
}

RegistryValueInfo QueryRegistryValue(const RegistryKey& key, const char* name, void* buffer,
                                     std::uint32_t size) {
    RegistryValueInfo info{RegistryType::None, size};
    if (int result = QueryInto(key, name, info.type, buffer, info.size)) throw Posix::Error(result);
    return info;
}

Stringy ReadRegistryText(RegistryRoot root, const char* subkey, const char* name) {
    RegistryKey key = OpenRegistryKey(root, subkey, RegistryAccess::Read);
    RegistryType type;
    std::string data;
    if (int result = key.QueryValue(TextOf(name), type, data)) throw Posix::Error(result);
    if (data.empty()) throw Posix::RegistryValueIsEmpty();
    if (type != RegistryType::String) throw Posix::WrongRegistryType();
    return TextOfData(data);
}

bool TryReadRegistryText(const RegistryKey& key, const char* name, Stringy& text) {
    RegistryType type;
    std::string data;
    if (key.QueryValue(TextOf(name), type, data) != 0 || type != RegistryType::String) return false;
    text = TextOfData(data);
    return true;
}

int EnumerateRegistrySubkey(const RegistryKey& key, std::uint32_t index, RegistrySubkeyInfo& info) {
    std::string name;
    int result = key.EnumerateSubkey(index, name);
    if (result == 0) info.name = Stringy(name.c_str());
    return result;
}

bool NextRegistrySubkey(const RegistryKey& key, std::uint32_t index, RegistrySubkeyInfo& info) {
    int result = EnumerateRegistrySubkey(key, index, info);
    if (result == PosixPlatform::kRegistryNoMoreItems) return false;
    if (result != 0) throw Posix::Error(result);
    return true;
}
