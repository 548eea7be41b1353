#include "base/file_errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <typeinfo>

#include "base/file_location.h"
#include "support/temporary_folder.h"

namespace {

ConstData Path(const char* text) {
    return ConstData(std::string_view(text));
}

// The class name of what ThrowFileIOErrorForCode throws, or "" when it throws nothing.
std::string ThrownKind(const FileLocation& location, int code, FileErrorMap map = FileErrorMap::General) {
    try {
        ThrowFileIOErrorForCode(location, code, map);
    } catch (const FileIOError& error) {
        EXPECT_EQ(error.Code(), code);
        EXPECT_EQ(error.FirstPath(), location.GetPathString());
        return ClassNameText(typeid(error));
    }
    return "";
}

}  // namespace

TEST(FileErrorText, NamesKindPathsAndSystemError) {
    EXPECT_STREQ(
        FileMoveError(Path("/d/a"), Path("/d/b"), EACCES).what(),
        "File error \"FileMoveError\" on \"/d/a\" and \"/d/b\": System Error: 13: Permission denied");
    EXPECT_STREQ(FileIOError().what(), "File error \"FileIOError\"");
    EXPECT_STREQ(FileNotFoundError(Path("/x"), 0).what(), "File error \"FileNotFoundError\" on \"/x\"");
    FileNotFoundError original(Path("/x"), ENOENT);
    FileNotFoundError copy(original);
    EXPECT_STREQ(copy.what(), original.what());
    EXPECT_EQ(copy.Code(), ENOENT);
}

TEST(FileErrorCodes, GeneralMapGivesTheKindOfEachErrno) {
    FileLocation location("/");
    struct Case {
        int code;
        const char* kind;
    } cases[] = {
        {0, ""},
        {ENOTDIR, "class DirectoryNotFoundError"},
        {ENAMETOOLONG, "class DirectoryNotFoundError"},
        {EACCES, "class FilePermissionError"},
        {EPERM, "class FilePermissionError"},
        {EROFS, "class FilePermissionError"},
        {EEXIST, "class FilePermissionError"},
        {ENOSPC, "class DiskFullError"},
        {EDQUOT, "class DiskFullError"},
        {EIO, "class FileSeekError"},
        {ENOLCK, "class FileLockError"},
        {EINVAL, "class FileIOError"},
    };
    for (const Case& c : cases) EXPECT_EQ(ThrownKind(location, c.code), c.kind) << c.code;
}

TEST(FileErrorCodes, OpenFileMapsDifferPerCall) {
    FileLocation location("/");
    EXPECT_EQ(ThrownKind(location, EEXIST, FileErrorMap::Writing), "class FileFoundError");
    EXPECT_EQ(ThrownKind(location, EEXIST, FileErrorMap::OpenPath), "class FilePermissionError");
    EXPECT_EQ(ThrownKind(location, ENOENT, FileErrorMap::Reading), "class FileIOError");
    EXPECT_EQ(ThrownKind(location, ENOSPC, FileErrorMap::Writer), "class DiskFullError");
    EXPECT_EQ(ThrownKind(location, ENOSPC, FileErrorMap::Reading), "class FileIOError");
    EXPECT_EQ(ThrownKind(location, EACCES, FileErrorMap::Writer), "class FileIOError");
    EXPECT_EQ(ThrownKind(location, ETXTBSY, FileErrorMap::Writer), "class FilePermissionError");
}

TEST(FileErrorCodes, MissingEntryIsFileOrDirectoryNotFoundByItsFolder) {
    TemporaryFolder folder;
    EXPECT_EQ(ThrownKind(FileLocation((folder / "missing").c_str()), ENOENT), "class FileNotFoundError");
    EXPECT_EQ(ThrownKind(FileLocation((folder / "no/missing").c_str()), ENOENT),
              "class DirectoryNotFoundError");
    EXPECT_EQ(ThrownKind(FileLocation("relative-name"), ENOENT), "class FileNotFoundError");
}
