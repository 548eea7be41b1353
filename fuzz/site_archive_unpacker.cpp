// Hostile update archives applied to a fixed old site version under the new version's list: the
// unpacker fails only with exceptions of the relay's own and writes nothing but files the list names,
// each with the content the list's SHA-1 vouches for; nothing appears outside the new directory and
// the old directory stays as it was.

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "base/const_data_reader.h"
#include "crypto/openssl_hash.h"
#include "crypto/openssl_startup.h"
#include "crypto/site_archive_unpacker.h"
#include "formats/file_list_reader.h"
#include "foundation/whole_file.h"
#include "scratch_folder.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// The new version's list: "ALPHA!" in a.txt ("alpha" before, so not copied for its size), "abc\n" in
// same.txt as before, and a listed file named like the relay's own list, "foo".
constexpr char kList[] =
    "Content-Type: multipart/x-directory2; boundary=\"b\"\r\nversion: 2\r\n\r\n"
    "--b\r\n\r\nurl: u\r\nname: a.txt\r\ntype: FILE\r\nmodified: Thu, 01 Jan 1970 00:01:00 +0000\r\n"
    "size: 6\r\nsha1: 59069db1b2f3088720ef9c88f671467093031426\r\n"
    "--b\r\n\r\nurl: u\r\nname: same.txt\r\ntype: FILE\r\nmodified: Thu, 01 Jan 1970 00:02:00 +0000\r\n"
    "size: 4\r\nsha1: 03cfd743661f07975fa2f1220c5194cbaff48451\r\n"
    "--b\r\n\r\nurl: u\r\nname: __sdirlist\r\ntype: FILE\r\nmodified: Thu, 01 Jan 1970 00:03:00 +0000\r\n"
    "size: 3\r\nsha1: 0beec7b5ea3f0fdbc95d0dd47f3c5bc275da8a33\r\n"
    "--b--\r\n";

struct Scratch {
    Scratch() {
        InitializeOpenSSL(false);
        CreateDirectoryIfMissing(Old());
        WriteWholeFile(ConstData(std::string_view("alpha")), Old().MakeChild("a.txt"));
        WriteWholeFile(ConstData(std::string_view("abc\n")), Old().MakeChild("same.txt"));
        ReadFileListBytes(ConstData(std::string_view(kList)), 0, list);
    }
    FileLocation Old() const { return folder.Child("old"); }

    ScratchFolder folder;
    STDFileList list;
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Scratch& scratch = TheScratch();
    const FileLocation newDirectory = scratch.folder.FreshFolder("new");
    ConstDataReader reader(ConstData(data, size));
    try {
        UnpackSiteArchive(reader, scratch.Old(), newDirectory, scratch.list);
    } catch (const std::exception&) {
        // Every failure of the relay's own is a std::exception; anything else escapes and fails.
    }
    const std::filesystem::path root(scratch.folder.Location().GetPathString());
    for (const auto& entry : std::filesystem::directory_iterator(root))
        Check(entry.path().filename() == "old" || entry.path().filename() == "new");
    Check(ReadFileText(scratch.Old().MakeChild("a.txt")) == "alpha");
    for (const auto& entry : std::filesystem::directory_iterator(root / "new")) {
        const FileListEntry* listed = scratch.list.Find(entry.path().filename().string());
        Check(listed != nullptr && entry.is_regular_file());
        const FileLocation file(entry.path().c_str());
        Check(DigestRecordsEqual(HashFile(file, ContentHashDigest()), listed->sha1));
    }
    return 0;
}
