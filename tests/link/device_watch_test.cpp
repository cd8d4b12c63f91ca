// The device watch on real inotify events in a temporary folder, its time on the fake
// scheduler: which changes of a device path it tells, and how often.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "link/device_watch.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

namespace fs = std::filesystem;
using Change = DeviceWatch::Change;

// A stand-in /dev: nodes (plain files serve, the watch only looks at their identity) and a
// by-id folder with a link to one of them.
class DevFolder {
public:
    DevFolder() {
        char dir[] = "/tmp/vesmera-watch-XXXXXX";
        root = ::mkdtemp(dir);
        Node("ttyUSB0");
        Node("ttyUSB1");
        Link("ttyUSB0");
    }
    ~DevFolder() { fs::remove_all(root); }

    void Node(const std::string& name) const { std::ofstream(root / name) << ""; }
    void Link(const std::string& target) const {
        fs::create_directories(root / "by-id");
        fs::remove(ById());
        fs::create_symlink("../" + target, ById());
    }
    fs::path ById() const { return root / "by-id" / "usb-FTDI_A1-if00-port0"; }

    fs::path root;
};

class DeviceWatchTest : public ::testing::Test {
protected:
    DeviceWatchTest()
        : watch(
              scheduler, dev.ById().string(), [this](Change c) { told.push_back(c); },
              [this](const std::string& text) { notes.push_back(text); }) {}

    // Lets the watch read what the file system said, and the clock move past the gap.
    void Settle() {
        while (scheduler.PumpDescriptors(50) > 0) {
        }
        scheduler.Advance(DeviceWatch::kMinGapMs);
        while (scheduler.PumpDescriptors(50) > 0) {
        }
    }

    DevFolder dev;
    testing::FakeScheduler scheduler;
    std::vector<Change> told;
    std::vector<std::string> notes;
    DeviceWatch watch;
};

struct Row {
    const char* name;
    std::function<void(const DevFolder&)> act;
    std::vector<Change> expected;
};

class DeviceWatchRows : public DeviceWatchTest, public ::testing::WithParamInterface<Row> {};

TEST_P(DeviceWatchRows, TellsWhatBecameOfThePath) {
    GetParam().act(dev);
    Settle();
    EXPECT_EQ(told, GetParam().expected);
    EXPECT_TRUE(notes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DeviceWatchRows,
    ::testing::Values(
        Row{"LinkRemoved", [](const DevFolder& d) { fs::remove(d.ById()); }, {Change::Gone}},
        Row{"TargetRemoved",
            [](const DevFolder& d) { fs::remove(d.root / "ttyUSB0"); },
            {Change::Gone}},
        // udev removes the empty by-id folder with the last adapter, and makes it again.
        Row{"FolderRemovedThenMadeAgain",
            [](const DevFolder& d) {
                fs::remove_all(d.root / "by-id");
                d.Link("ttyUSB0");
            },
            {Change::Appeared}},
        Row{"NodeMadeAgainUnderTheSameName",
            [](const DevFolder& d) {
                fs::remove(d.root / "ttyUSB0");
                d.Node("ttyUSB0");
            },
            {Change::Appeared}},
        Row{"LinkPointedAtAnotherNode",
            [](const DevFolder& d) { d.Link("ttyUSB1"); },
            {Change::Appeared}},
        Row{"NodeModeChanged",
            [](const DevFolder& d) { fs::permissions(d.root / "ttyUSB0", fs::perms::owner_read); },
            {Change::Touched}},
        Row{"OtherNamesChange",
            [](const DevFolder& d) {
                d.Node("ttyUSB2");
                fs::remove(d.root / "ttyUSB1");
                std::ofstream(d.root / "by-id" / "usb-Other-if00") << "";
            },
            {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Gone and back within the gap is told after the gap, as one that appeared.
TEST_F(DeviceWatchTest, GoneAndBackIsToldInOrderWithTheGapBetween) {
    fs::remove_all(dev.root / "by-id");
    while (scheduler.PumpDescriptors(50) > 0) {
    }
    ASSERT_EQ(told, std::vector<Change>{Change::Gone});
    const std::int64_t goneAt = scheduler.NowMs();

    fs::remove(dev.root / "ttyUSB0");
    dev.Node("ttyUSB0");
    dev.Link("ttyUSB0");
    while (scheduler.PumpDescriptors(50) > 0) {
    }
    EXPECT_EQ(told.size(), 1u) << "told again before the gap has passed";
    scheduler.Advance(DeviceWatch::kMinGapMs - 1);
    EXPECT_EQ(told.size(), 1u);
    scheduler.Advance(1);
    EXPECT_EQ(told, (std::vector<Change>{Change::Gone, Change::Appeared}));
    EXPECT_EQ(scheduler.NowMs() - goneAt, DeviceWatch::kMinGapMs);
}

// A device that appears and disappears many times a second is looked at no more than once per
// gap, and what is told last is how it ended.
TEST_F(DeviceWatchTest, AFlappingDeviceIsToldAtMostOncePerGap) {
    int tells = 0;
    for (int round = 0; round < 10; ++round) {
        for (int flap = 0; flap < 5; ++flap) {
            fs::remove(dev.ById());
            while (scheduler.PumpDescriptors(0) > 0) {
            }
            dev.Link(flap % 2 ? "ttyUSB0" : "ttyUSB1");
            while (scheduler.PumpDescriptors(0) > 0) {
            }
            scheduler.Advance(2);
        }
        tells = static_cast<int>(told.size());
        EXPECT_LE(tells, round + 1) << "round " << round;
        scheduler.Advance(DeviceWatch::kMinGapMs - 10);
    }
    while (scheduler.PumpDescriptors(50) > 0) {
    }
    scheduler.Advance(DeviceWatch::kMinGapMs);
    // It ends present, on ttyUSB1: another node than the one watched at the start.
    ASSERT_FALSE(told.empty());
    EXPECT_NE(told.back(), Change::Gone);
    EXPECT_NE(std::find(told.begin(), told.end(), Change::Appeared), told.end());
}

} // namespace
} // namespace vesmera
