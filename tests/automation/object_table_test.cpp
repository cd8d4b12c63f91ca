#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "automation/object_table.h"
#include "common/exception.h"

namespace vesmera {
namespace {

using Access = ObjectTable::Access;

// A table over a server started for clients, which quits at the last release; the quit notes
// what the table still held at that moment, and the watch which clients are being watched.
struct Books {
    TComServer server{{StartMode::smAutomation, false}, [this] { Quit(); }};
    std::set<std::string> watched;
    std::vector<std::size_t> heldAtQuit; // objects plus locks, at each quit
    ObjectTable table{server,
                      {[this](const std::string& c) { EXPECT_TRUE(watched.insert(c).second) << c; },
                       [this](const std::string& c) { EXPECT_EQ(watched.erase(c), 1u) << c; }}};

    void Quit() { heldAtQuit.push_back(table.LiveObjects() + table.HeldLocks()); }
};

enum class Op { Create, Use, Release, Lock, Unlock, Leave };

struct Step {
    Op op;
    std::string client;
    std::string target;   // the class for Create, the path for Use and Release
    std::string expected; // the path made, the access ("granted", "none", "refused"), or
                          // "true"/"false" for Unlock; empty where nothing is answered
};

struct TableRow {
    const char* name;
    std::vector<Step> steps;
    std::size_t objects;
    std::size_t locks;
    std::int32_t count;
    std::set<std::string> watched;
    int quits;
};

std::string AccessText(Access access) {
    switch (access) {
    case Access::Granted:
        return "granted";
    case Access::NoObject:
        return "none";
    case Access::Refused:
        return "refused";
    }
    return "?";
}

std::string Apply(Books& b, const Step& s) {
    switch (s.op) {
    case Op::Create:
        return b.table.Create(s.target == "Data" ? DataClass() : ScAutoClass(), s.client);
    case Op::Use:
        return AccessText(b.table.Use(s.target, s.client));
    case Op::Release:
        return AccessText(b.table.Release(s.target, s.client));
    case Op::Lock:
        b.table.Lock(s.client);
        return "";
    case Op::Unlock:
        return b.table.Unlock(s.client) ? "true" : "false";
    case Op::Leave:
        b.table.ClientLeft(s.client);
        return "";
    }
    return "?";
}

class ObjectTableTest : public ::testing::TestWithParam<TableRow> {};

TEST_P(ObjectTableTest, KeepsTheBooks) {
    const TableRow& row = GetParam();
    Books b;
    for (std::size_t i = 0; i < row.steps.size(); ++i)
        EXPECT_EQ(Apply(b, row.steps[i]), row.steps[i].expected) << "step " << i;
    EXPECT_EQ(b.table.LiveObjects(), row.objects);
    EXPECT_EQ(b.table.HeldLocks(), row.locks);
    EXPECT_EQ(b.server.ObjectCount(), row.count);
    EXPECT_EQ(b.watched, row.watched);
    EXPECT_EQ(b.heldAtQuit.size(), static_cast<std::size_t>(row.quits));
    // A quit comes only when nothing is held any more.
    for (const std::size_t held : b.heldAtQuit)
        EXPECT_EQ(held, 0u);
    for (const auto& client : row.watched)
        EXPECT_TRUE(b.table.Holds(client)) << client;
}

const std::string kData1 = "/Vesmera/Data/1";
const std::string kScAuto1 = "/Vesmera/ScAuto/1";

INSTANTIATE_TEST_SUITE_P(
    Rows, ObjectTableTest,
    ::testing::Values(TableRow{"CreateNumbersEachClassFromOne",
                               {{Op::Create, ":1.7", "Data", kData1},
                                {Op::Create, ":1.7", "ScAuto", kScAuto1},
                                {Op::Create, ":1.8", "Data", "/Vesmera/Data/2"}},
                               3,
                               0,
                               3,
                               {":1.7", ":1.8"},
                               0},
                      TableRow{"ReleaseByTheOwnerNumbersNeverReused",
                               {{Op::Create, ":1.7", "ScAuto", kScAuto1},
                                {Op::Create, ":1.7", "ScAuto", "/Vesmera/ScAuto/2"},
                                {Op::Release, ":1.7", kScAuto1, "granted"},
                                {Op::Release, ":1.7", kScAuto1, "none"},
                                {Op::Use, ":1.7", kScAuto1, "none"},
                                {Op::Create, ":1.7", "ScAuto", "/Vesmera/ScAuto/3"}},
                               2,
                               0,
                               2,
                               {":1.7"},
                               0},
                      TableRow{"StrangerCannotUseReleaseOrUnlock",
                               {{Op::Create, ":1.7", "Data", kData1},
                                {Op::Lock, ":1.7", "", ""},
                                {Op::Use, ":1.9", kData1, "refused"},
                                {Op::Release, ":1.9", kData1, "refused"},
                                {Op::Unlock, ":1.9", "", "false"},
                                {Op::Use, ":1.7", kData1, "granted"}},
                               1,
                               1,
                               2,
                               {":1.7"},
                               0},
                      TableRow{"LocksCountPerClient",
                               {{Op::Lock, ":1.7", "", ""},
                                {Op::Lock, ":1.7", "", ""},
                                {Op::Lock, ":1.8", "", ""},
                                {Op::Unlock, ":1.7", "", "true"},
                                {Op::Unlock, ":1.7", "", "true"},
                                {Op::Unlock, ":1.7", "", "false"}},
                               0,
                               1,
                               1,
                               {":1.8"},
                               0},
                      TableRow{"ClientGoneLeavesNothingOthersKeepTheirs",
                               {{Op::Create, ":1.7", "Data", kData1},
                                {Op::Create, ":1.7", "ScAuto", kScAuto1},
                                {Op::Lock, ":1.7", "", ""},
                                {Op::Lock, ":1.7", "", ""},
                                {Op::Create, ":1.8", "ScAuto", "/Vesmera/ScAuto/2"},
                                {Op::Lock, ":1.8", "", ""},
                                {Op::Leave, ":1.7", "", ""},
                                {Op::Use, ":1.7", kData1, "none"},
                                {Op::Unlock, ":1.7", "", "false"}},
                               1,
                               1,
                               2,
                               {":1.8"},
                               0},
                      TableRow{"LastClientGoneQuitsWithBooksBalanced",
                               {{Op::Create, ":1.7", "Data", kData1},
                                {Op::Create, ":1.7", "ScAuto", kScAuto1},
                                {Op::Lock, ":1.7", "", ""},
                                {Op::Leave, ":1.7", "", ""},
                                {Op::Leave, ":1.7", "", ""}},
                               0,
                               0,
                               0,
                               {},
                               1},
                      TableRow{"LastReleaseOfObjectOrLockQuits",
                               {{Op::Create, ":1.7", "ScAuto", kScAuto1},
                                {Op::Lock, ":1.7", "", ""},
                                {Op::Release, ":1.7", kScAuto1, "granted"},
                                {Op::Unlock, ":1.7", "", "true"}},
                               0,
                               0,
                               0,
                               {},
                               1},
                      TableRow{"ClientWithNothingLeavesNoTrace",
                               {{Op::Leave, ":1.7", "", ""}, {Op::Unlock, ":1.7", "", "false"}},
                               0,
                               0,
                               0,
                               {},
                               0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ObjectTable, CreationBeyondTheLimitFailsAndCountsNothing) {
    Books b;
    b.table.SetObjectLimit(2);
    b.table.Create(DataClass(), ":1.7");
    b.table.Create(ScAutoClass(), ":1.8");
    try {
        b.table.Create(DataClass(), ":1.9");
        ADD_FAILURE() << "created beyond the limit";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Too many automation objects are alive");
    }
    EXPECT_EQ(b.server.ObjectCount(), 2);
    EXPECT_EQ(b.watched, (std::set<std::string>{":1.7", ":1.8"}));
    // The refused creation took no number.
    EXPECT_EQ(b.table.Release("/Vesmera/ScAuto/1", ":1.8"), Access::Granted);
    EXPECT_EQ(b.table.Create(DataClass(), ":1.9"), "/Vesmera/Data/2");
    EXPECT_EQ(b.table.ObjectsOf(DataClass()),
              (std::vector<std::string>{"/Vesmera/Data/1", "/Vesmera/Data/2"}));
    EXPECT_TRUE(b.table.ObjectsOf(ScAutoClass()).empty());
}

} // namespace
} // namespace vesmera
