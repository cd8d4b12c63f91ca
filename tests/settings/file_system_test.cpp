#include <gtest/gtest.h>

#include <sys/stat.h>

#include "settings/file_system.h"
#include "test_files.h"

using namespace vesmera;
using namespace vesmera::testing_files;

namespace {

enum class Step { None, Write, Reserve, Truncate, Sync, Rename };
// The replacement by a renamed temporary file, or the rewrite in place where the folder takes
// no new file.
enum class Route { Rename, InPlace };

// The real file system with one step of the replacement refused.
class RefusingFileSystem : public PosixFileSystem {
public:
    RefusingFileSystem(Route route, Step step, int error)
        : route_(route), step_(step), error_(error) {}

protected:
    int CreateTemporary(const std::string& path) override {
        if (route_ == Route::InPlace)
            return Refuse(EACCES);
        return PosixFileSystem::CreateTemporary(path);
    }
    ssize_t WriteSome(int fd, const char* data, size_t size) override {
        // Half the bytes reach the disk before the refusal, as when a disk fills up.
        if (step_ == Step::Write && writes_++ > 0)
            return Refuse(error_);
        return PosixFileSystem::WriteSome(fd, data, step_ == Step::Write ? size / 2 : size);
    }
    int ReserveSpace(int fd, off_t size) override {
        return step_ == Step::Reserve ? Refuse(error_) : PosixFileSystem::ReserveSpace(fd, size);
    }
    int Truncate(int fd, off_t size) override {
        return step_ == Step::Truncate ? Refuse(error_) : PosixFileSystem::Truncate(fd, size);
    }
    int SyncFile(int fd) override {
        return step_ == Step::Sync ? Refuse(error_) : PosixFileSystem::SyncFile(fd);
    }
    int RenameFile(const std::string& from, const std::string& to) override {
        return step_ == Step::Rename ? Refuse(error_) : PosixFileSystem::RenameFile(from, to);
    }

private:
    static int Refuse(int error) {
        errno = error;
        return -1;
    }
    Route route_;
    Step step_;
    int error_;
    int writes_ = 0;
};

struct RefusalRow {
    const char* name;
    Route route;
    Step step;
    int error;
    std::size_t newSize; // the old file has 300 bytes
};

void PrintTo(const RefusalRow& row, std::ostream* os) {
    *os << row.name;
}

class RefusedStep : public testing::TestWithParam<RefusalRow> {};

TEST_P(RefusedStep, LeavesTheOldFileByteForByteAndNoTemporaryBehind) {
    const RefusalRow& row = GetParam();
    TempDir dir;
    const std::string path = dir.File("Vesmera.ini");
    std::string old = "[Общие]\r\nIP=old\r\n";
    old.resize(300, ';');
    WriteBytes(path, old);
    RefusingFileSystem fs(row.route, row.step, row.error);
    try {
        fs.ReplaceFile(path, std::string(row.newSize, 'n'));
        FAIL() << "the refused step went unnoticed";
    } catch (const FileError& e) {
        EXPECT_EQ(e.ErrorNumber(), row.error);
        EXPECT_EQ(e.Message(), SystemReason(row.error));
    }
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(dir.EntryCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RefusedStep,
    testing::Values(RefusalRow{"rename_write", Route::Rename, Step::Write, ENOSPC, 1000},
                    RefusalRow{"rename_sync", Route::Rename, Step::Sync, EIO, 1000},
                    RefusalRow{"rename_rename", Route::Rename, Step::Rename, EXDEV, 1000},
                    RefusalRow{"in_place_reserve", Route::InPlace, Step::Reserve, ENOSPC, 5000},
                    RefusalRow{"in_place_write_longer", Route::InPlace, Step::Write, ENOSPC, 5000},
                    RefusalRow{"in_place_write_shorter", Route::InPlace, Step::Write, ENOSPC, 200},
                    RefusalRow{"in_place_truncate", Route::InPlace, Step::Truncate, EIO, 10},
                    RefusalRow{"in_place_sync", Route::InPlace, Step::Sync, EIO, 10}),
    [](const auto& info) { return std::string(info.param.name); });

// Where the folder takes no new file or refuses the rename (a sticky folder), the file is
// rewritten where it is, longer or shorter, to the exact new content.
TEST(ReplaceFile, RewritesInPlaceWhereNoReplacementIsAllowed) {
    for (const auto& [route, step] :
         {std::pair{Route::InPlace, Step::None}, std::pair{Route::Rename, Step::Rename}}) {
        TempDir dir;
        const std::string path = dir.File("Vesmera.ini");
        WriteBytes(path, std::string(300, 'o'));
        ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
        RefusingFileSystem fs(route, step, EPERM);
        for (const std::size_t size : {5000u, 7u, 0u}) {
            fs.ReplaceFile(path, std::string(size, 'n'));
            EXPECT_EQ(ReadBytes(path), std::string(size, 'n'));
        }
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0604u);
        EXPECT_EQ(dir.EntryCount(), 1u);
    }
}

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
