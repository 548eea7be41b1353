#include "foundation/temporary_files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/file_item.h"
#include "foundation/file_replacing_data_sink.h"
#include "foundation/whole_file.h"
#include "support/temporary_folder.h"

namespace {

namespace fs = std::filesystem;

class TemporaryFiles : public ::testing::Test {
  protected:
    FileLocation Folder() { return FileLocation(m_folder.Path().c_str()); }
    FileLocation At(const std::string& name) { return FileLocation((m_folder / name).c_str()); }
    FileLocation Write(const std::string& name, const std::string& content) {
        std::ofstream(m_folder / name, std::ios::binary) << content;
        return At(name);
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder.Path()))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    unsigned Mode(const FileLocation& location) {
        struct stat status;
        return ::stat(location.CString(), &status) == 0 ? status.st_mode & 07777 : 0;
    }

    TemporaryFolder m_folder;
};

void Feed(DataReceiver& receiver, const std::string& text) {
    receiver.Receive(ConstData(std::string_view(text)));
}

}  // namespace

TEST_F(TemporaryFiles, NamesCarryThePrefixAndArePrivate) {
    FileLocation file = MakeTemporaryFileLocationIn(Folder(), kTemporaryFilePrefix);
    EXPECT_EQ(file.GetParent(), Folder());
    EXPECT_TRUE(file.GetName().StartsWith("veltra", false));
    EXPECT_EQ(Mode(file), 0600u);
    FileLocation directory = MakeTemporaryDirectoryIn(Folder(), kTemporaryDirectoryPrefix);
    EXPECT_TRUE(directory.GetName().StartsWith("temp", false));
    EXPECT_EQ(Mode(directory), 0700u);
    EXPECT_NE(MakeTemporaryFileLocationNear(file, "x"), MakeTemporaryFileLocationNear(Folder(), "x"));
    EXPECT_THROW(MakeTemporaryFileLocationIn(FileLocation(), "x"), EmptyFileLocationError);
    EXPECT_THROW(MakeTemporaryDirectoryIn(At("missing"), "x"), DirectoryCreateFailed);
    EXPECT_EQ(GetSystemTemporaryDirectory().CString()[0], '/');
}

TEST_F(TemporaryFiles, TemporaryFileLocationIsDeletedByItsLastCopy) {
    std::optional<TemporaryFileLocation> first(Folder());
    FileLocation location = first->GetLocation();
    {
        TemporaryFileLocation copy = *first;
        first.reset();
        EXPECT_TRUE(FileAttributes(location).Exists());
        EXPECT_EQ(copy.GetLocation(), location);
    }
    EXPECT_FALSE(FileAttributes(location).Exists());
}

TEST_F(TemporaryFiles, TemporaryFileIsKeptOnlyWhenMoved) {
    FileLocation kept;
    {
        TemporaryFile file(Folder());
        std::string text = "content";
        file.GetPath().WriteAt(0, reinterpret_cast<const Byte*>(text.data()),
                               reinterpret_cast<const Byte*>(text.data() + text.size()));
        file.MoveTo(At("kept"));
    }
    EXPECT_EQ(ReadFileText(At("kept")), "content");
    { TemporaryFile dropped(Folder()); }
    {
        TemporaryFile discarded(Folder());
        discarded.Discard();
    }
    {
        TemporaryFile blocked(Folder());
        EXPECT_THROW(blocked.MoveTo(At("kept")), FileFoundError);
    }
    EXPECT_EQ(Names(), std::vector<std::string>{"kept"});
}

TEST_F(TemporaryFiles, TemporaryDirectoryGoesWithItsContentsUnlessKept) {
    FileLocation removed;
    {
        TemporaryDirectoryLocation directory(Folder());
        removed = directory.GetLocation();
        WriteWholeFile(ConstData(std::string_view("x")), removed.MakeChild("f"));
    }
    EXPECT_FALSE(FileAttributes(removed).Exists());
    FileLocation kept;
    {
        TemporaryDirectoryLocation directory(Folder());
        kept = directory.GetLocation();
        directory.Keep();
    }
    EXPECT_TRUE(FileAttributes(kept).IsDirectory());
    EXPECT_THROW(TemporaryDirectoryLocation{FileLocation()}, EmptyFileLocationError);
}

TEST_F(TemporaryFiles, ReplacingSinkReplacesOnlyAtEnd) {
    FileLocation target = Write("target", "old");
    ::chmod(target.CString(), 0640);
    FileReplacingDataSink sink(target);
    sink.Begin();
    Feed(sink, "new ");
    EXPECT_EQ(ReadFileText(target), "old");
    Feed(sink, "content");
    sink.End();
    EXPECT_EQ(ReadFileText(target), "new content");
    EXPECT_EQ(Mode(target), 0640u);
    EXPECT_EQ(Names(), std::vector<std::string>{"target"});

    FileReplacingDataSink fresh(At("fresh"), Folder());
    fresh.Begin();
    fresh.End();
    EXPECT_EQ(ReadFileText(At("fresh")), "");
}

TEST_F(TemporaryFiles, ReplacingSinkAbandonedMidStreamLeavesTargetAndNoTemporary) {
    FileLocation target = Write("target", "old");
    {
        FileReplacingDataSink sink(target);
        sink.Begin();
        Feed(sink, "partial");
    }
    EXPECT_EQ(ReadFileText(target), "old");
    FileReplacingDataSink reopened(target);
    reopened.Begin();
    Feed(reopened, "partial");
    reopened.Open(At("other"));
    EXPECT_EQ(Names(), std::vector<std::string>{"target"});

    fs::create_directory(m_folder / "dir");
    FileReplacingDataSink ontoDirectory(At("dir"));
    ontoDirectory.Begin();
    EXPECT_THROW(ontoDirectory.End(), DirectoryFoundError);
    EXPECT_EQ(Names(), (std::vector<std::string>{"dir", "target"}));
    EXPECT_THROW(FileReplacingDataSink().Begin(), EmptyFileLocationError);
}

// A writer killed while it streams leaves the old target intact.
TEST_F(TemporaryFiles, ReplacingSinkKilledMidWriteLeavesOldTarget) {
    FileLocation target = Write("target", "old content");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        FileReplacingDataSink sink(target);
        sink.Begin();
        std::string chunk(1 << 16, 'n');
        for (int i = 0;; ++i) {
            Feed(sink, chunk);
            if (i == 16) (void)!::write(ready[1], "w", 1);
        }
    }
    ::close(ready[1]);
    char signal;
    ASSERT_EQ(::read(ready[0], &signal, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(ready[0]);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadFileText(target), "old content");
}
