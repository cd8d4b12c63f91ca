#include <gtest/gtest.h>

#include <sys/stat.h>

#include "settings/file_system.h"
#include "test_files.h"

using namespace vesmera;
using namespace vesmera::testing_files;

namespace {

enum class Step { Write, Sync, Rename };

// The real file system with one step of the replacement refused.
class RefusingFileSystem : public PosixFileSystem {
public:
    explicit RefusingFileSystem(Step step) : step_(step) {}

protected:
    ssize_t WriteSome(int fd, const char* data, size_t size) override {
        // Half the bytes reach the disk before the refusal, as when a disk fills up.
        if (step_ == Step::Write && writes_++ > 0) {
            errno = ENOSPC;
            return -1;
        }
        return PosixFileSystem::WriteSome(fd, data, step_ == Step::Write ? size / 2 : size);
    }
    int SyncFile(int fd) override {
        if (step_ == Step::Sync) {
            errno = EIO;
            return -1;
        }
        return PosixFileSystem::SyncFile(fd);
    }
    int RenameFile(const std::string& from, const std::string& to) override {
        if (step_ == Step::Rename) {
            errno = EXDEV;
            return -1;
        }
        return PosixFileSystem::RenameFile(from, to);
    }

private:
    Step step_;
    int writes_ = 0;
};

class RefusedStep : public testing::TestWithParam<std::pair<Step, int>> {};

TEST_P(RefusedStep, LeavesTheOldFileWholeAndNoTemporaryBehind) {
    TempDir dir;
    const std::string path = dir.File("Vesmera.ini");
    WriteBytes(path, "[Общие]\r\nIP=old\r\n");
    RefusingFileSystem fs(GetParam().first);
    try {
        fs.ReplaceFile(path, std::string(1000, 'n'));
        FAIL() << "the refused step went unnoticed";
    } catch (const FileError& e) {
        EXPECT_EQ(e.ErrorNumber(), GetParam().second);
        EXPECT_EQ(e.Message(), SystemReason(GetParam().second));
    }
    EXPECT_EQ(ReadBytes(path), "[Общие]\r\nIP=old\r\n");
    EXPECT_EQ(dir.EntryCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Steps, RefusedStep,
                         testing::Values(std::pair{Step::Write, ENOSPC}, std::pair{Step::Sync, EIO},
                                         std::pair{Step::Rename, EXDEV}));

// Writes that take a few bytes at a time still deliver the whole content.
class TrickleFileSystem : public PosixFileSystem {
protected:
    ssize_t WriteSome(int fd, const char* data, size_t size) override {
        if (interrupt_ = !interrupt_; interrupt_) {
            errno = EINTR;
            return -1;
        }
        return PosixFileSystem::WriteSome(fd, data, size < 7 ? size : 7);
    }

private:
    bool interrupt_ = false;
};

TEST(ReplaceFile, ShortAndInterruptedWritesDeliverEveryByte) {
    TempDir dir;
    const std::string path = dir.File("ZidOzod.ini");
    std::string content;
    for (int i = 0; i < 1000; ++i)
        content += static_cast<char>(i % 251);
    TrickleFileSystem fs;
    fs.ReplaceFile(path, content);
    EXPECT_EQ(ReadBytes(path), content);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(ReplaceFile, CreatesAndReplacesAndKeepsThePermissions) {
    TempDir dir;
    const std::string path = dir.File("Vesmera.ini");
    IFileSystem& fs = RealFileSystem();
    fs.ReplaceFile(path, "first");
    EXPECT_EQ(fs.ReadFile(path), "first");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    fs.ReplaceFile(path, "");
    EXPECT_EQ(fs.ReadFile(path), "");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(ReplaceFile, APathUnderARegularFileCannotBeWrittenEvenByRoot) {
    TempDir dir;
    WriteBytes(dir.File("plain"), "x");
    try {
        RealFileSystem().ReplaceFile(dir.File("plain") + "/Vesmera.ini", "y");
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(e.ErrorNumber(), ENOTDIR);
    }
    EXPECT_EQ(ReadBytes(dir.File("plain")), "x");
}

TEST(ReadFile, FailuresCarryTheSystemError) {
    TempDir dir;
    const auto errorOf = [](const std::string& path) {
        try {
            RealFileSystem().ReadFile(path);
        } catch (const FileError& e) {
            return e.ErrorNumber();
        }
        return 0;
    };
    EXPECT_EQ(errorOf(dir.File("missing")), ENOENT);
    EXPECT_EQ(errorOf(dir.Dir()), EISDIR);
    WriteBytes(dir.File("there"), std::string("a\0b", 3));
    EXPECT_EQ(errorOf(dir.File("there")), 0);
    EXPECT_EQ(RealFileSystem().ReadFile(dir.File("there")), std::string("a\0b", 3));
}

} // namespace

namespace {

// Records the directory synced after the rename, and can refuse that sync.
class DirectorySyncProbe : public PosixFileSystem {
public:
    std::string synced;
    bool refuse = false;

protected:
    int SyncDirectory(const std::string& directory) override {
        synced = directory;
        if (refuse) {
            errno = EIO;
            return -1;
        }
        return PosixFileSystem::SyncDirectory(directory);
    }
};

TEST(ReplaceFile, SyncsTheTargetsDirectoryAfterTheRename) {
    TempDir dir;
    const std::string path = dir.File("Vesmera.ini");
    DirectorySyncProbe fs;
    fs.ReplaceFile(path, "new");
    EXPECT_EQ(fs.synced, dir.Dir());
    // A refused directory sync leaves the rename undurable, so it is reported.
    fs.refuse = true;
    EXPECT_THROW(fs.ReplaceFile(path, "newer"), FileError);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

} // namespace
