#include <gtest/gtest.h>

#include <map>

#include "server/client_notes.h"
#include "server/request_handler.h"
#include "server_fakes.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using testing::FakeLog;
using testing::FakeScheduler;
using testing::FakeTerminals;

struct RequestRow {
    const char* name;
    std::string line;
    std::string reply;
    std::vector<std::string> zeros;
    std::vector<std::string> log;
};

class RequestTest : public ::testing::TestWithParam<RequestRow> {};

TEST_P(RequestTest, AnswersByExactName) {
    FakeTerminals terminals;
    terminals.answers["Весы 1"] = {"1234,56", -5002};
    terminals.answers["7"] = {"-5006", -5003};
    FakeScheduler clock;
    FakeLog log;
    ClientNotes notes(clock, log);
    RequestHandler handler(terminals, notes);
    EXPECT_EQ(handler.Handle(GetParam().line, "10.0.0.9:4000"), GetParam().reply);
    EXPECT_EQ(terminals.zeros, GetParam().zeros);
    EXPECT_EQ(log.lines, GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RequestTest,
    ::testing::Values(
        RequestRow{"Known", "Весы 1", "1234,56\r\n-5002\r\n", {}, {}},
        RequestRow{"KnownCode", "7", "-5006\r\n-5003\r\n", {}, {}},
        RequestRow{"Empty", "", "-5000\r\n-5003\r\n", {}, {}},
        RequestRow{"OtherCase", "весы 1", "-5000\r\n-5003\r\n", {}, {}},
        RequestRow{"Blanks", " Весы 1", "-5000\r\n-5003\r\n", {}, {}},
        RequestRow{"Bytes", std::string("\xFF\xFE\0\x1B", 4), "-5000\r\n-5003\r\n", {}, {}},
        RequestRow{"Zero", "SetNullВесы 1", "", {"Весы 1"}, {}},
        RequestRow{"ZeroLowerCaseIsAName", "setnullВесы 1", "-5000\r\n-5003\r\n", {}, {}},
        RequestRow{"ZeroUnknown",
                   std::string("SetNullx\x01\"\0", 11),
                   "",
                   {},
                   {"zero request from 10.0.0.9:4000 for unknown terminal \"x???\" ignored"}},
        RequestRow{"ZeroEmpty",
                   "SetNull",
                   "",
                   {},
                   {"zero request from 10.0.0.9:4000 for unknown terminal \"\" ignored"}}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace vesmera
