#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/port_entries.h"
#include "settings/profile_file.h"

using namespace vesmera;

std::vector<std::string> Labels(const std::vector<PortEntry>& entries) {
    std::vector<std::string> labels;
    for (const auto& e : entries)
        labels.push_back(e.label);
    return labels;
}

TEST(PortEntries, FiftyComPortsThenDevicesThenAPathSetting) {
    auto e = PortEntries("Com3", {});
    ASSERT_EQ(e.size(), 50u);
    EXPECT_EQ(e.front(), (PortEntry{"Com1", "Com1"}));
    EXPECT_EQ(e.back(), (PortEntry{"Com50", "Com50"}));

    // A by-id adapter shows its link's name and stores the whole path.
    e = PortEntries("/dev/ttyUSB7", {"/dev/serial/by-id/usb-FTDI-if00", "/dev/ttyUSB0"});
    ASSERT_EQ(e.size(), 53u);
    EXPECT_EQ(e[50], (PortEntry{"usb-FTDI-if00", "/dev/serial/by-id/usb-FTDI-if00"}));
    EXPECT_EQ(e[51], (PortEntry{"/dev/ttyUSB0", "/dev/ttyUSB0"}));
    EXPECT_EQ(e[52], (PortEntry{"/dev/ttyUSB7", "/dev/ttyUSB7"}));
}

TEST(PortEntries, AStoredNameNoEntryStoresIsOfferedOnceAsItIs) {
    EXPECT_EQ(PortEntries("/dev/ttyUSB0", {"/dev/ttyUSB0"}).size(), 51u);
    EXPECT_EQ(PortEntries("COM3", {}).size(), 50u);
    EXPECT_EQ(PortEntries("Com51", {}).back(), (PortEntry{"Com51", "Com51"}));
    EXPECT_EQ(PortEntries("Foo", {}).back(), (PortEntry{"Foo", "Foo"}));
    // A present by-id adapter is the stored path's entry; one that is gone is offered by path.
    const std::string scale = "/dev/serial/by-id/usb-Scale-if00";
    EXPECT_EQ(Labels(PortEntries(scale, {scale})).back(), "usb-Scale-if00");
    EXPECT_EQ(PortEntries(scale, {scale}).size(), 51u);
    EXPECT_EQ(PortEntries(scale, {}).back(), (PortEntry{scale, scale}));
    // An empty name stays unselected: nothing is added for it.
    EXPECT_EQ(PortEntries("", {}).size(), 50u);
    // Only a link in a by-id folder under serial is named by its link.
    EXPECT_EQ(Labels(PortEntries("", {"/tmp/by-id/x"})).back(), "/tmp/by-id/x");
}

TEST(ListSerialDevices, ByIdNamesFirstThenUsbAndAcmSorted) {
    const auto root =
        std::filesystem::temp_directory_path() / ("vesmera-dev-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "serial" / "by-id");
    for (auto name : {"ttyUSB1", "ttyUSB0", "ttyACM0", "ttyS0", "tty1"})
        std::ofstream(root / name).put('x');
    std::ofstream(root / "serial" / "by-id" / "usb-Scale-if00").put('x');
    auto d = ListSerialDevices(root.string());
    std::filesystem::remove_all(root);
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0], (root / "serial" / "by-id" / "usb-Scale-if00").string());
    EXPECT_EQ(d[1], (root / "ttyUSB0").string());
    EXPECT_EQ(d[2], (root / "ttyUSB1").string());
    EXPECT_EQ(d[3], (root / "ttyACM0").string());
    EXPECT_TRUE(ListSerialDevices("/nonexistent-dev-root").empty());
}

TEST(CaseInsensitiveSelection, LatinAndCyrillic) {
    // A stored value an entry matches in either case is not offered again.
    EXPECT_EQ(WithStoredValue({"Com3", "Ворлен"}, "ворлен").size(), 2u);
    EXPECT_EQ(WithStoredValue({"a", "B"}, "b").size(), 2u);
    EXPECT_EQ(WithStoredValue({"a"}, "c"), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(PortEntries("", {"/dev/ttyUSB0", "/DEV/TTYUSB0"}).size(), 51u);
}
