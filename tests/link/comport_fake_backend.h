#pragma once

#include "link/comport.h"
#include "link/comport_clock.h"
#include "link/serial_backend.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace vesmera::test {

// Time that passes only when a test moves it.
class FakeComClock final : public IComClock {
public:
    std::int64_t NowMs() override { return now; }
    std::int64_t now = 1000;
};

// What the fake device answers and what it saw. A non-zero error field makes that call fail
// with the number.
struct FakeDeviceState {
    int openError = 0;
    int queueError = 0;
    int lineError = 0;
    int timeoutsError = 0;
    int writeError = 0;
    int queuedError = 0;
    int readError = 0;
    int statusError = 0;
    int abortError = 0;

    std::size_t acceptPerWrite = std::numeric_limits<std::size_t>::max();
    std::size_t acceptTotal = std::numeric_limits<std::size_t>::max(); // then the driver is full
    std::vector<std::size_t> queuedAnswers; // OutputQueued, in turn; the last one repeats
    std::string input;

    std::vector<std::string> openedPaths;
    std::vector<TComLineState> lineStates;
    std::vector<TComTimeoutValues> timeouts;
    std::vector<std::pair<std::int32_t, std::int32_t>> queueSizes;
    std::string written;
    int closes = 0;
    bool open = false;
};

class FakeSerialDevice final : public ISerialDevice {
public:
    FakeSerialDevice(FakeDeviceState& state, FakeComClock& clock) : S(state), FClock(clock) {}

    int SetQueueSizes(std::int32_t in, std::int32_t out) override {
        S.queueSizes.emplace_back(in, out);
        return S.queueError;
    }
    int SetLineState(const TComLineState& state) override {
        S.lineStates.push_back(state);
        return S.lineError;
    }
    int SetTimeouts(const TComTimeoutValues& t) override {
        S.timeouts.push_back(t);
        return S.timeoutsError;
    }
    SerialTransfer Write(const char* bytes, std::size_t count) override {
        if (S.writeError != 0) {
            return {0, S.writeError};
        }
        std::size_t room = S.acceptTotal - std::min(S.acceptTotal, S.written.size());
        std::size_t n = std::min({count, S.acceptPerWrite, room});
        S.written.append(bytes, n);
        return {n, 0};
    }
    SerialTransfer OutputQueued() override {
        if (S.queuedError != 0) {
            return {0, S.queuedError};
        }
        if (S.queuedAnswers.empty()) {
            return {0, 0};
        }
        std::size_t answer = S.queuedAnswers.front();
        if (S.queuedAnswers.size() > 1) {
            S.queuedAnswers.erase(S.queuedAnswers.begin());
        }
        return {answer, 0};
    }
    SerialTransfer Read(char* bytes, std::size_t count) override {
        if (S.readError != 0) {
            return {0, S.readError};
        }
        std::size_t n = std::min(count, S.input.size());
        std::copy_n(S.input.begin(), n, bytes);
        S.input.erase(0, n);
        return {n, 0};
    }
    int QueryStatus() override { return S.statusError; }
    int AbortPending() override { return S.abortError; }
    int Close() override {
        ++S.closes;
        S.open = false;
        return 0;
    }
    int Handle() const override { return 42; }

private:
    FakeDeviceState& S;
    FakeComClock& FClock;
};

class FakeSerialBackend final : public ISerialBackend {
public:
    FakeSerialBackend(FakeDeviceState& state, FakeComClock& clock) : S(state), FClock(clock) {}
    SerialOpenResult Open(const std::string& path) override {
        S.openedPaths.push_back(path);
        if (S.openError != 0) {
            return {nullptr, S.openError};
        }
        S.open = true;
        return {std::make_unique<FakeSerialDevice>(S, FClock), 0};
    }

private:
    FakeDeviceState& S;
    FakeComClock& FClock;
};

// A port on the fake device, with the fake clock.
struct FakePortRig {
    FakeDeviceState device;
    FakeComClock clock;
    FakeSerialBackend backend{device, clock};
    TComPort port{TComPortPlatform{&backend, &clock}};
};

} // namespace vesmera::test
