// One poll's own work, without the delay: build the request's steps, write it, arm and run the
// delay's timer (on the fake scheduler, so no time passes), read the reply, decode it and apply
// it to the views. The terminal answers in memory, so the figure is the
// program's share of a poll.

#include <benchmark/benchmark.h>

#include "link/link_fakes.h"
#include "link/protocol_643.h"
#include "link/serial_link.h"
#include "link/vorlen_protocol.h"

namespace {

using namespace vesmera;

// Writes are taken and the canned reply is handed back, without any bookkeeping.
class CannedChannel final : public ISerialChannel {
public:
    explicit CannedChannel(std::string reply) : reply_(std::move(reply)) {}
    void Open() override {}
    void Close() override {}
    bool Connected() const override { return true; }
    int WriteStr(const std::string& bytes) override {
        benchmark::DoNotOptimize(bytes.data());
        return static_cast<int>(bytes.size());
    }
    int ReadStr(std::string& bytes, int count) override {
        bytes.assign(reply_, 0,
                     std::min<std::size_t>(reply_.size(), static_cast<std::size_t>(count)));
        return static_cast<int>(bytes.size());
    }

private:
    std::string reply_;
};

template <void (SerialLink::*Tick)()> void RunPoll(benchmark::State& state, std::string reply) {
    CannedChannel channel(std::move(reply));
    testing::LinkRig rig(channel);
    rig.settings.protocol = Tick == &SerialLink::TickVorlen ? kProtocolVorlen : kProtocol643;
    for (auto _ : state) {
        (rig.link.*Tick)();
        rig.Finish();
        benchmark::DoNotOptimize(rig.indicator.text.data());
    }
    if (rig.state.errorCounter != 0)
        state.SkipWithError("the canned reply did not decode");
}

void BM_VorlenPoll(benchmark::State& state) {
    RunPoll<&SerialLink::TickVorlen>(
        state, testing::Bytes({0xFF, 0x01, 0xC3, 0x56, 0x34, 0x12, 0x12, 0x87, 0xFF, 0xFF}));
}

void BM_Poll643(benchmark::State& state) {
    RunPoll<&SerialLink::Tick643>(state, "\x02 123.450\r");
}

BENCHMARK(BM_VorlenPoll)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_Poll643)->Repetitions(10)->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
