#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>

namespace vesmera {

enum class TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
};
using enum TBaudRate;

enum class TDataBits { dbFive, dbSix, dbSeven, dbEight };
using enum TDataBits;

// Device codes 0, 1, 2 in declaration order.
enum class TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
using enum TStopBits;

// Device parity codes 0 to 4 in declaration order.
enum class TParityBits { prNone, prOdd, prEven, prMark, prSpace };
using enum TParityBits;

enum class TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
using enum TDTRFlowControl;

enum class TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
using enum TRTSFlowControl;

enum class TComEvent {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full,
};
using enum TComEvent;

enum class TSyncMethod { smThreadSync, smWindowSync, smNone };
using enum TSyncMethod;

enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};
using enum TThreadPriority;

// A set of TComEvent values.
class TComEvents {
public:
    constexpr TComEvents() = default;
    constexpr TComEvents(std::initializer_list<TComEvent> events) {
        for (TComEvent e : events)
            FBits |= Bit(e);
    }
    static constexpr TComEvents All() {
        TComEvents all;
        all.FBits = (1u << 10) - 1;
        return all;
    }
    constexpr bool Contains(TComEvent e) const { return (FBits & Bit(e)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr bool operator==(const TComEvents&) const = default;

private:
    static constexpr std::uint16_t Bit(TComEvent e) {
        return static_cast<std::uint16_t>(1u << static_cast<unsigned>(e));
    }
    std::uint16_t FBits = 0;
};

// Bits per second of a speed value; CustomBaudRate stands for brCustom.
std::int32_t BaudRateValue(TBaudRate rate, std::int32_t customBaudRate);

// The speed of one of the five rates the settings offer (9600, 14400, 19200, 38400, 57600);
// none for any other number of bits per second.
std::optional<TBaudRate> SelectableBaudRate(std::int32_t bitsPerSecond);

// The line settings in the platform-neutral form of a device-control block, as the port hands
// them to its backend. Flags not set by the settings stay false, codes not set stay zero.
struct TComLineState {
    std::int32_t baudRate = 0;
    bool binary = true; // raw transfer: always set
    bool parityCheck = false;
    bool outCtsFlow = false;
    bool outDsrFlow = false;
    TDTRFlowControl dtrControl = dtrDisable;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    bool outX = false;
    bool inX = false;
    bool errorCharReplace = false;
    bool discardNull = false;
    TRTSFlowControl rtsControl = rtsDisable;
    bool abortOnError = false; // never set: line errors never stop reception
    std::int32_t xonLimit = 0;
    std::int32_t xoffLimit = 0;
    std::int32_t byteSize = 8;
    TParityBits parity = prNone;
    TStopBits stopBits = sbOneStopBit;
    char xonChar = 0;
    char xoffChar = 0;
    char errorChar = 0;
    char eventChar = 0;

    bool operator==(const TComLineState&) const = default;
};

// The five time-outs in milliseconds; kNoReadInterval (all bits set) means no interval limit.
inline constexpr std::uint32_t kNoReadInterval = 0xFFFFFFFFu;
struct TComTimeoutValues {
    std::uint32_t readInterval = kNoReadInterval;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 100;
    std::uint32_t writeTotalConstant = 1000;

    bool operator==(const TComTimeoutValues&) const = default;
};

} // namespace vesmera
