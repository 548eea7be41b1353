// Typed registry functions: what the settings objects, the named settings store and the readers of a
// few fixed keys use of the registry (platform/registry.h).
//
// Each function names its key by a root and a subkey path ("Software\Veltra\KVRRelay") and opens and
// closes the key itself. The Boolean functions report failure by false and never throw; the
// functions that throw raise Posix::Error with the registry's result code, or one of the two
// exceptions below. Values are typed: a reader of one type fails on a value of another. Strings are
// written without a terminating NUL; a trailing NUL written by someone else is dropped on reading.
//
// Thread-safety: every function may be called from any thread; a RegistryKey is used by one thread
// at a time.
#pragma once

#include <cstdint>

#include "base/exceptions.h"
#include "base/stringy.h"
#include "platform/registry.h"

namespace Posix {
class WrongRegistryType : public DebuggableException {};
class RegistryValueIsEmpty : public DebuggableException {};
}  // namespace Posix

using PosixPlatform::RegistryAccess;
using PosixPlatform::RegistryRoot;
using PosixPlatform::RegistryType;

// An open key, or none; closed when it goes.
using RegistryKey = PosixPlatform::RegistryKeyHandle;

struct RegistrySubkeyInfo {
    Stringy name;
};

struct RegistryValueInfo {
    RegistryType type;
    std::uint32_t size;  // bytes stored
};

// True when the key exists, else whether creating it (with the keys above it) succeeds.
bool EnsureRegistryKey(RegistryRoot root, const char* subkey);
// Creates the key and the keys above it as needed; true when it exists afterwards.
bool CreateRegistryKey(RegistryRoot root, const char* subkey);

// Copy a value of one type into `buffer` of `size` bytes. `size` becomes the stored size. True when
// the value has the type and fits (with no buffer: when the value has the type).
bool ReadRegistryBinary(RegistryRoot root, const char* subkey, const char* name, void* buffer,
                        std::uint32_t& size);
bool ReadRegistryStringRaw(RegistryRoot root, const char* subkey, const char* name, void* buffer,
                           std::uint32_t& size);
bool ReadRegistryDWORDRaw(RegistryRoot root, const char* subkey, const char* name, void* buffer,
                          std::uint32_t& size);
// A REG_SZ read into a buffer of `size` bytes, always NUL-terminated: the text takes at most size - 1
// bytes, and `size` becomes the text's length. With no buffer, `size` becomes the size a buffer
// needs. False when the read fails, the value is no REG_SZ or the buffer has no room for the NUL.
bool ReadRegistryString(RegistryRoot root, const char* subkey, const char* name, char* buffer,
                        std::uint32_t& size);
// A 4-byte REG_DWORD.
bool ReadRegistryDWORD(RegistryRoot root, const char* subkey, const char* name, int& value);
// A REG_BINARY of exactly 8 bytes, little-endian: how a 64-bit number is stored.
bool ReadRegistryNumber64(RegistryRoot root, const char* subkey, const char* name, std::uint64_t& value);

// The writers create the key when missing.
// With `flush`, the write must also reach the disk (every write does).
bool WriteRegistryDWORD(RegistryRoot root, const char* subkey, const char* name, std::uint32_t value,
                        bool flush);
bool WriteRegistryBinary(RegistryRoot root, const char* subkey, const char* name, const void* bytes,
                         std::uint32_t count);
bool WriteRegistryNumber64(RegistryRoot root, const char* subkey, const char* name, std::uint64_t value);
// REG_SZ of the text's bytes, without a NUL; a null text writes the empty text.
bool WriteRegistryString(RegistryRoot root, const char* subkey, const char* name, const char* text);

// Throws Posix::Error with the result code when the key cannot be opened.
RegistryKey OpenRegistryKey(RegistryRoot root, const char* subkey, RegistryAccess access);
// Returns the result code; on success `key` holds the new key (any key it held before is closed).
int TryOpenRegistryKey(RegistryRoot root, const char* subkey, RegistryKey& key, RegistryAccess access);
// The value's type and stored size, copying the data into `buffer` when given and large enough.
// Throws Posix::Error (ERANGE when the buffer is too small).
RegistryValueInfo QueryRegistryValue(const RegistryKey& key, const char* name, void* buffer,
                                     std::uint32_t size);

// The text of a REG_SZ. Throws Posix::Error when the key or value cannot be read,
// Posix::RegistryValueIsEmpty for a value of 0 bytes, Posix::WrongRegistryType for another type.
Stringy ReadRegistryText(RegistryRoot root, const char* subkey, const char* name);
// The same on an open key without throwing: false when the value cannot be read or is no REG_SZ.
bool TryReadRegistryText(const RegistryKey& key, const char* name, Stringy& text);

// The subkey at `index` in name order; returns the result code (PosixPlatform::kRegistryNoMoreItems
// past the last one).
int EnumerateRegistrySubkey(const RegistryKey& key, std::uint32_t index, RegistrySubkeyInfo& info);
// The same; false past the last subkey; any other failure throws Posix::Error.
bool NextRegistrySubkey(const RegistryKey& key, std::uint32_t index, RegistrySubkeyInfo& info);
