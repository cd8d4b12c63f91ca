#include "link/comport.h"
#include "link/comport_name.h"
#include "link/comport_raised.h"
#include "link/ecomport.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace vesmera {
namespace {

struct NameRow {
    const char* name;
    const char* path; // nullptr: names no device
};

class ComPortNameTest : public ::testing::TestWithParam<NameRow> {};

TEST_P(ComPortNameTest, MapsToTheDevicePath) {
    std::optional<std::string> path = ComPortDevicePath(GetParam().name);
    if (GetParam().path == nullptr) {
        EXPECT_FALSE(path.has_value()) << *path;
    } else {
        ASSERT_TRUE(path.has_value());
        EXPECT_EQ(*path, GetParam().path);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ComPortNameTest,
    ::testing::Values(NameRow{"Com3", "/dev/ttyS2"}, NameRow{"Com1", "/dev/ttyS0"},
                      NameRow{"COM1", "/dev/ttyS0"}, NameRow{"cOm50", "/dev/ttyS49"},
                      NameRow{"Com010", "/dev/ttyS9"}, NameRow{"/dev/ttyUSB0", "/dev/ttyUSB0"},
                      NameRow{"/tmp/a b", "/tmp/a b"}, NameRow{"Foo", nullptr},
                      NameRow{"", nullptr}, NameRow{"Com", nullptr}, NameRow{"Com0", nullptr},
                      NameRow{"Com-1", nullptr}, NameRow{"Com+1", nullptr},
                      NameRow{"Com1 ", nullptr}, NameRow{" Com1", nullptr},
                      NameRow{"Com1x", nullptr}, NameRow{"Com99999999999", nullptr},
                      NameRow{"dev/ttyS0", nullptr}));

TEST(ComPortNameOpenTest, UnknownNameFailsToOpenWithErrorTwo) {
    TComPort port;
    port.SetPort("Foo");
    EComPort e = test::Raised([&] { port.Open(); });
    EXPECT_EQ(e.Code(), CE_OpenFailed);
    EXPECT_EQ(e.WinCode(), ENOENT);
    EXPECT_EQ(e.Message(), "Unable to open com port (Error: 2)");
    EXPECT_FALSE(port.Connected());
}

TEST(EComPortTest, TheErrorNumberIsQuotedOnlyWhenAboveZero) {
    EComPort with(CE_SetStateFailed, 22);
    EXPECT_EQ(with.Message(), "SetCommState function failed (Error: 22)");
    EXPECT_EQ(with.WinCode(), 22);
    EXPECT_EQ(with.Code(), 7);
    for (int none : {0, -1, -5}) {
        EComPort without(CE_ReadFailed, none);
        EXPECT_EQ(without.Message(), "ReadFile function failed");
        EXPECT_EQ(without.WinCode(), -1);
    }
    EXPECT_EQ(EComPort(CE_OpenFailed, 2147483647).Message(),
              "Unable to open com port (Error: 2147483647)");
}

TEST(EComPortTest, UnknownCodesHaveNoText) {
    EXPECT_EQ(ComErrorMessage(CEPortNotOpen), "Port Not Open");
    EXPECT_EQ(ComErrorMessage(0), "");
    EXPECT_EQ(ComErrorMessage(25), "");
}

} // namespace
} // namespace vesmera
