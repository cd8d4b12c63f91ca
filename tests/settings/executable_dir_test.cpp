#include <gtest/gtest.h>

#include <filesystem>

#include "settings/executable_dir.h"

using namespace vesmera;

TEST(ExecutableDirectory, DirectoryPartWithATrailingSlash) {
    EXPECT_EQ(DirectoryOf("/opt/scale/vesmera"), "/opt/scale/");
    EXPECT_EQ(DirectoryOf("/vesmera"), "/");
    EXPECT_EQ(DirectoryOf("/opt/scale dir/v"), "/opt/scale dir/");
    EXPECT_EQ(DirectoryOf("vesmera"), "./");
}

TEST(ExecutableDirectory, IsTheFolderOfThisVeryProgram) {
    const std::string dir = ExecutableDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(dir + "test_settings", std::filesystem::read_symlink("/proc/self/exe").string());
}
