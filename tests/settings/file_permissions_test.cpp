// Saves against the file's own permission, owner and links, made by a user who is not root
// (root may write anything, so the refusals would never show): each save runs in a child
// process that has dropped to `nobody`.
#include <gtest/gtest.h>

#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/settings_store.h"
#include "app/terminal_list.h"
#include "settings/file_system.h"
#include "test_files.h"

using namespace vesmera;
using namespace vesmera::testing_files;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// Runs `save` as nobody in a child and gives back what it returned.
std::string AsNobody(const std::function<std::string()>& save) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string result;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0))
            result = "could not become nobody";
        else
            result = save();
        const ssize_t written = ::write(pipeFds[1], result.data(), result.size());
        ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
        result.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

void Own(const std::string& path, uid_t uid, mode_t mode, gid_t gid) {
    ASSERT_EQ(::lchown(path.c_str(), uid, gid), 0);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

void Own(const std::string& path, uid_t uid, mode_t mode) {
    Own(path, uid, mode, uid == 0 ? 0 : kNogroup);
}

std::string Saved(const std::function<void()>& save) {
    try {
        save();
        return "saved";
    } catch (const Exception& e) {
        return e.Message();
    }
}

// The settings file through the store, as "Применить" writes it.
std::string SaveSettings(const TempDir& dir) {
    const std::string folder = dir.File("app") + "/";
    SettingsStore store([folder] { return folder; }, RealFileSystem());
    return Saved([&] { store.SaveSkin("Нет"); });
}

std::string SaveList(const TempDir& dir) {
    TerminalListFile list;
    return Saved([&] { list.Write(dir.File("app/ZidOzod.ini"), {"Весы 1"}); });
}

struct FileCase {
    const char* name;
    std::function<void(const TempDir&)> setUp; // made by root, in the folder "app"
    std::function<std::string(const TempDir&)> save;
    std::string error; // "" for a successful save; the message's path part follows it
    std::function<void(const TempDir&)> check;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << c.name;
}

class SaveAsAnotherUser : public testing::TestWithParam<FileCase> {};

TEST_P(SaveAsAnotherUser, KeepsWhatItMayNotChange) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the files to another user and to become nobody";
    TempDir dir;
    Own(dir.Dir(), 0, 0755);
    ASSERT_EQ(::mkdir(dir.File("app").c_str(), 0777), 0);
    Own(dir.File("app"), kNobody, 0755);
    GetParam().setUp(dir);
    const std::string result = AsNobody([&] { return GetParam().save(dir); });
    if (GetParam().error.empty())
        EXPECT_EQ(result, "saved");
    else
        EXPECT_EQ(result.rfind(GetParam().error, 0), 0u) << result;
    GetParam().check(dir);
    // No temporary file is left behind.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.File("app")))
        ++entries;
    EXPECT_LE(entries, 2u);
}

const std::string kOld = "[Общие]\r\nСкин=Cold\r\n";
const std::string kNew = "[Общие]\r\nСкин=Нет\r\n";

enum class Target { There, NotMadeYet };

// The settings file is a link to nobody's folder "real"; the save goes to the file it names,
// made there when it is not there yet, and the link stays.
FileCase LinkedSettings(const char* name, Target target) {
    return {name,
            [target](const TempDir& d) {
                ASSERT_EQ(::mkdir(d.File("real").c_str(), 0755), 0);
                Own(d.File("real"), kNobody, 0755);
                if (target == Target::There) {
                    WriteBytes(d.File("real/Vesmera.ini"), kOld);
                    Own(d.File("real/Vesmera.ini"), kNobody, 0640);
                }
                ASSERT_EQ(::symlink("../real/Vesmera.ini", d.File("app/Vesmera.ini").c_str()), 0);
            },
            SaveSettings, "",
            [target](const TempDir& d) {
                EXPECT_TRUE(S_ISLNK(StatOf(d.File("app/Vesmera.ini")).st_mode));
                EXPECT_EQ(ReadBytes(d.File("real/Vesmera.ini")), kNew);
                if (target == Target::There) {
                    EXPECT_EQ(StatOf(d.File("real/Vesmera.ini")).st_mode & 07777, 0640u);
                }
            }};
}

// Root's settings file that anyone may write, in a folder of root's with the given mode; the
// save shortens it and keeps it root's.
FileCase RootsSettingsIn(const char* name, mode_t folderMode) {
    return {name,
            [folderMode](const TempDir& d) {
                Own(d.File("app"), 0, folderMode);
                WriteBytes(d.File("app/Vesmera.ini"), kOld + std::string(100, ';'));
                Own(d.File("app/Vesmera.ini"), 0, 0666);
            },
            SaveSettings, "",
            [](const TempDir& d) {
                EXPECT_EQ(ReadBytes(d.File("app/Vesmera.ini")), kNew + std::string(100, ';'));
                EXPECT_EQ(StatOf(d.File("app/Vesmera.ini")).st_uid, 0u);
            }};
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SaveAsAnotherUser,
    testing::Values(
        FileCase{"read_only_settings",
                 [](const TempDir& d) {
                     WriteBytes(d.File("app/Vesmera.ini"), kOld);
                     Own(d.File("app/Vesmera.ini"), kNobody, 0444);
                 },
                 SaveSettings, "Unable to write to ",
                 [](const TempDir& d) {
                     EXPECT_EQ(ReadBytes(d.File("app/Vesmera.ini")), kOld);
                     EXPECT_EQ(StatOf(d.File("app/Vesmera.ini")).st_mode & 07777, 0444u);
                 }},
        FileCase{"settings_of_another_owner",
                 [](const TempDir& d) {
                     WriteBytes(d.File("app/Vesmera.ini"), kOld);
                     Own(d.File("app/Vesmera.ini"), 0, 0644);
                 },
                 SaveSettings, "Unable to write to ",
                 [](const TempDir& d) {
                     EXPECT_EQ(ReadBytes(d.File("app/Vesmera.ini")), kOld);
                     EXPECT_EQ(StatOf(d.File("app/Vesmera.ini")).st_uid, 0u);
                 }},
        FileCase{"unreadable_list",
                 [](const TempDir& d) {
                     WriteBytes(d.File("app/ZidOzod.ini"), "Весы 7\r\n");
                     Own(d.File("app/ZidOzod.ini"), 0, 0600);
                 },
                 SaveList, "Cannot create file \"",
                 [](const TempDir& d) {
                     EXPECT_EQ(ReadBytes(d.File("app/ZidOzod.ini")), "Весы 7\r\n");
                 }},
        LinkedSettings("link_to_a_file_elsewhere", Target::There),
        RootsSettingsIn("writable_file_in_a_shared_folder", 0755),
        FileCase{"writable_list_in_a_shared_folder",
                 [](const TempDir& d) {
                     Own(d.File("app"), 0, 0755);
                     WriteBytes(d.File("app/ZidOzod.ini"), "Весы 7\r\nВесы 8\r\n");
                     Own(d.File("app/ZidOzod.ini"), 0, 0666);
                 },
                 SaveList, "",
                 [](const TempDir& d) {
                     EXPECT_EQ(ReadBytes(d.File("app/ZidOzod.ini")), "Весы 1\r\n");
                 }},
        // A sticky shared folder lets nobody write root's file but not replace it.
        RootsSettingsIn("writable_file_in_a_sticky_folder", 01777),
        // The folder would let a rename replace them, but the new file would be nobody's.
        FileCase{"owner_kept",
                 [](const TempDir& d) {
                     WriteBytes(d.File("app/ZidOzod.ini"), "Весы 7\r\n");
                     Own(d.File("app/ZidOzod.ini"), 0, 0666);
                 },
                 SaveList, "",
                 [](const TempDir& d) {
                     EXPECT_EQ(ReadBytes(d.File("app/ZidOzod.ini")), "Весы 1\r\n");
                     EXPECT_EQ(StatOf(d.File("app/ZidOzod.ini")).st_uid, 0u);
                 }},
        FileCase{"group_kept",
                 [](const TempDir& d) {
                     WriteBytes(d.File("app/Vesmera.ini"), kOld);
                     Own(d.File("app/Vesmera.ini"), kNobody, 0664, 0);
                 },
                 SaveSettings, "",
                 [](const TempDir& d) {
                     EXPECT_EQ(ReadBytes(d.File("app/Vesmera.ini")), kNew);
                     EXPECT_EQ(StatOf(d.File("app/Vesmera.ini")).st_gid, 0u);
                     EXPECT_EQ(StatOf(d.File("app/Vesmera.ini")).st_mode & 07777, 0664u);
                 }},
        LinkedSettings("link_to_a_file_not_made_yet", Target::NotMadeYet)),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceFile, RootKeepsTheOwnerAndModeOfTheFileItReplaces) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another user";
    TempDir dir;
    const std::string path = dir.File("Vesmera.ini");
    WriteBytes(path, "old");
    Own(path, kNobody, 0604);
    RealFileSystem().ReplaceFile(path, "new");
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_EQ(StatOf(path).st_uid, kNobody);
    EXPECT_EQ(StatOf(path).st_mode & 07777, 0604u);
}

} // namespace
