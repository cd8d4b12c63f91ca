#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/exception.h"
#include "server/secret_file.h"
#include "settings/test_files.h"

namespace vesmera {
namespace {

using testing_files::TempDir;
using testing_files::WriteBytes;

struct PathRow {
    const char* name;
    const char* secret;
    const char* config;
    const char* credentials;
    const char* path;
};

class SecretPathTest : public ::testing::TestWithParam<PathRow> {};

// A relative name goes to systemd's credentials when the service has them, else beside the file.
TEST_P(SecretPathTest, ResolvesTheName) {
    EXPECT_EQ(SecretFilePath(GetParam().secret, GetParam().config, GetParam().credentials),
              GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SecretPathTest,
    ::testing::Values(
        PathRow{"Absolute", "/root/token", "/etc/vesmera/s.ini", "/run/credentials/v",
                "/root/token"},
        PathRow{"InCredentials", "http-token", "/etc/vesmera/s.ini", "/run/credentials/v.service",
                "/run/credentials/v.service/http-token"},
        PathRow{"CredentialsWithSlash", "http-token", "/etc/s.ini", "/run/c/", "/run/c/http-token"},
        PathRow{"BesideTheFile", "keys/tls.key", "/opt/v/s.ini", "", "/opt/v/keys/tls.key"},
        PathRow{"BesideABareFile", "token", "s.ini", "", "./token"}),
    [](const auto& info) { return info.param.name; });

TEST(SecretPath, AnEmptyNameIsRefused) {
    EXPECT_THROW(SecretFilePath("", "/etc/s.ini", "/run/c"), Exception);
}

struct ReadRow {
    const char* name;
    std::string bytes;
    mode_t mode;
    SecretForm form;
    std::string secret; // what is read, or empty when refused
    std::string reason; // the end of the refusal's message
};

class SecretReadTest : public ::testing::TestWithParam<ReadRow> {};

TEST_P(SecretReadTest, ReadsOrRefuses) {
    TempDir dir;
    const std::string file = dir.File("secret");
    WriteBytes(file, GetParam().bytes);
    ASSERT_EQ(::chmod(file.c_str(), GetParam().mode), 0);
    if (GetParam().reason.empty()) {
        EXPECT_EQ(ReadSecretFile(file, GetParam().form), GetParam().secret);
        return;
    }
    try {
        ReadSecretFile(file, GetParam().form);
        ADD_FAILURE() << "read a secret it should refuse";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "secret file " + file + " " + GetParam().reason);
    }
}

const std::string kWorldReadable =
    "is readable by every user: make it 0600 or 0640 (chmod o-r), or hand it to the service as "
    "a systemd credential";

INSTANTIATE_TEST_SUITE_P(
    Files, SecretReadTest,
    ::testing::Values(
        ReadRow{"LineEndDropped", "s3cret\n", 0600, SecretForm::kLine, "s3cret", ""},
        ReadRow{"CrLfDropped", "s3cret\r\n", 0640, SecretForm::kLine, "s3cret", ""},
        ReadRow{"NoLineEnd", "s3cret", 0400, SecretForm::kLine, "s3cret", ""},
        ReadRow{"WholeKeptAsIs", "-----BEGIN KEY-----\nAB\n", 0600, SecretForm::kWhole,
                "-----BEGIN KEY-----\nAB\n", ""},
        ReadRow{"WorldReadable", "s3cret\n", 0644, SecretForm::kLine, "", kWorldReadable},
        ReadRow{"WorldReadableKey", "KEY\n", 0604, SecretForm::kWhole, "", kWorldReadable},
        ReadRow{"Empty", "", 0600, SecretForm::kWhole, "", "is empty"},
        ReadRow{"OnlyALineEnd", "\n", 0600, SecretForm::kLine, "", "is empty"},
        ReadRow{"TwoLines", "one\ntwo\n", 0600, SecretForm::kLine, "", "holds more than one line"},
        ReadRow{"BlankLineAfter", "one\n\n", 0600, SecretForm::kLine, "",
                "holds more than one line"},
        ReadRow{"Nul", std::string("ab\0cd", 5), 0600, SecretForm::kLine, "", "holds a NUL byte"},
        ReadRow{"TooLarge", std::string(1024 * 1024 + 1, 'k'), 0600, SecretForm::kWhole, "",
                "is larger than 1 MiB"}),
    [](const auto& info) { return info.param.name; });

TEST(SecretRead, MissingFileAndFolderAreRefusedWithTheReason) {
    TempDir dir;
    EXPECT_THROW(
        try { ReadSecretFile(dir.File("none"), SecretForm::kLine); } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "secret file " + dir.File("none") +
                                       " cannot be read: No such file or directory");
            throw;
        },
        Exception);
    EXPECT_THROW(
        try { ReadSecretFile(dir.Dir(), SecretForm::kWhole); } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "secret file " + dir.Dir() + " is not a regular file");
            throw;
        },
        Exception);
}

} // namespace
} // namespace vesmera
