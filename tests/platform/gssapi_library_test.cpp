#include "platform/gssapi_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "support/temporary_folder.h"

using PosixPlatform::GetSecurityFunctionTable;
using PosixPlatform::SecurityFunctionTable;
using PosixPlatform::SecurityLibraryLoader;
using PosixPlatform::SecurityProviderLibraryName;

namespace {

// The file an entry point was loaded from.
std::string LibraryFileOf(const void* entryPoint) {
    Dl_info info{};
    if (::dladdr(entryPoint, &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
}

std::vector<const void*> EntryPoints(const SecurityFunctionTable& table) {
    return {reinterpret_cast<const void*>(table.importName),
            reinterpret_cast<const void*>(table.releaseName),
            reinterpret_cast<const void*>(table.acquireCredWithPassword),
            reinterpret_cast<const void*>(table.releaseCred),
            reinterpret_cast<const void*>(table.initSecContext),
            reinterpret_cast<const void*>(table.deleteSecContext),
            reinterpret_cast<const void*>(table.releaseBuffer),
            reinterpret_cast<const void*>(table.displayStatus)};
}

TEST(SecurityLibraryLoader, TheProcessTableHoldsEveryEntryPointOfTheGSSAPILibrary) {
    EXPECT_STREQ(SecurityProviderLibraryName(), "libgssapi_krb5.so.2");
    const SecurityFunctionTable& table = GetSecurityFunctionTable();
    for (const void* entryPoint : EntryPoints(table)) {
        ASSERT_NE(entryPoint, nullptr);
        EXPECT_EQ(std::filesystem::path(LibraryFileOf(entryPoint)).filename(), "libgssapi_krb5.so.2");
    }
    EXPECT_EQ(&GetSecurityFunctionTable(), &table);
}

TEST(SecurityLibraryLoader, AFailedLoadIsRememberedAndNotTriedAgain) {
    TemporaryFolder folder;
    const std::string path = folder / "libgssapi_krb5.so.2";
    SecurityLibraryLoader loader(path);
    EXPECT_THROW(loader.FunctionTable(), NoSuchProcAddress);

    // The library appears at that path afterwards: the loader does not look again.
    std::filesystem::create_symlink(
        LibraryFileOf(reinterpret_cast<const void*>(GetSecurityFunctionTable().initSecContext)), path);
    EXPECT_THROW(loader.FunctionTable(), NoSuchProcAddress);
    SecurityLibraryLoader another(path);
    EXPECT_NE(another.FunctionTable().initSecContext, nullptr);
}

TEST(SecurityLibraryLoader, ALibraryWithoutTheEntryPointsIsRefusedEveryTime) {
    SecurityLibraryLoader loader("libz.so.1");
    EXPECT_THROW(loader.FunctionTable(), NoSuchProcAddress);
    EXPECT_THROW(loader.FunctionTable(), NoSuchProcAddress);
}

TEST(SecurityLibraryLoader, ConcurrentFirstCallsShareOneTable) {
    SecurityLibraryLoader loader(SecurityProviderLibraryName());
    std::vector<const SecurityFunctionTable*> tables(8);
    std::vector<std::thread> threads;
    for (auto& table : tables) threads.emplace_back([&] { table = &loader.FunctionTable(); });
    for (auto& thread : threads) thread.join();
    for (const SecurityFunctionTable* table : tables) EXPECT_EQ(table, tables.front());
}

}  // namespace
