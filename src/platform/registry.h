// The registry as the settings code uses it: keys named by a root and a path such as
// "Software\Veltra\KVRRelay\HTTPServer", holding typed values. It stands in for the Windows registry
// over the hive files of registry_hive.h.
//
// Names compare ignoring ASCII case and keep their spelling; a path may end with one "\". Subkeys
// enumerate in name order ignoring case, so after deleting the subkey at index i the next one is at i.
// Every change is a locked, atomic rewrite of the hive file and is on disk when the call returns.
//
// Every call returns 0 or a result code:
//   ENOENT                   no such key or value
//   EINVAL                   an invalid path or name
//   ENOTEMPTY                the key to delete has subkeys
//   EACCES                   a change through a key opened for reading (or the file's own EACCES)
//   kRegistryNoMoreItems     an enumeration index past the last subkey
//   kRegistryHiveUnparsable  the hive file does not parse and is not written
//   any other errno          a failed file call
//
// Thread-safety: a RegistryKeyHandle is a value used by one thread at a time; different handles, and
// the free functions, may be used from any thread.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry_hive.h"

namespace PosixPlatform {

inline constexpr int kRegistryNoMoreItems = ENODATA;

enum class RegistryAccess { Read, ReadWrite };

// A change to one key inside a transaction: it gets the key as the hive holds it now, and returns 0 to
// write, kRegistryNothingToWrite to succeed without writing, or a code that cancels the transaction.
using RegistryKeyChange = std::function<int(RegistryKeyNode& key)>;

// An open key: a hive and a path. Opening checks that the key exists; every later call looks the
// key up afresh, so a key deleted since gives ENOENT.
class RegistryKeyHandle {
  public:
    RegistryKeyHandle() = default;

    static int Open(RegistryRoot root, std::string_view path, RegistryAccess access, RegistryKeyHandle& key);
    // Opens the key for reading and writing, first creating it and every missing key above it.
    static int Create(RegistryRoot root, std::string_view path, RegistryKeyHandle& key);

    bool IsOpen() const { return m_hive != nullptr; }
    void Close() { m_hive.reset(); }

    // The value's type and stored bytes.
    int QueryValue(std::string_view name, RegistryType& type, std::string& data) const;
    // The key and everything below it as the hive holds them now: one consistent snapshot.
    int Snapshot(std::shared_ptr<const RegistryKeyNode>& key) const;
    // The name of the subkey at `index`.
    int EnumerateSubkey(std::uint32_t index, std::string& name) const;

    int SetValue(std::string_view name, RegistryType type, std::string_view data) const;
    int DeleteValue(std::string_view name) const;
    // Deletes a subkey that has no subkeys of its own, with its values.
    int DeleteSubkey(std::string_view name) const;
    // A read-compare-write transaction on this key (ENOENT when it has been deleted).
    int Update(const RegistryKeyChange& change) const;
    // Changes reach the disk before they return; this only checks that the key still exists.
    int Flush() const;

  private:
    std::shared_ptr<RegistryHive> m_hive;
    RegistryPath m_path;
    RegistryAccess m_access = RegistryAccess::Read;
};

// A read-compare-write transaction on the key at `path`, which is created when missing (and stays
// uncreated when the change cancels or has nothing to write).
int UpdateRegistryKey(RegistryRoot root, std::string_view path, const RegistryKeyChange& change);

}  // namespace PosixPlatform
