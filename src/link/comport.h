#pragma once

#include "link/comport_clock.h"
#include "link/comport_settings.h"
#include "link/comport_types.h"
#include "link/ecomport.h"
#include "link/serial_backend.h"
#include "link/serial_channel.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vesmera {

// What the port needs of the machine: the device backend and a monotonic clock for the write
// time-out. Both must outlive the port.
struct TComPortPlatform {
    ISerialBackend* backend = nullptr;
    IComClock* clock = nullptr;

    // termios devices and the steady clock.
    static TComPortPlatform System();
};

// The serial port with all its behaviour. Settings are stored at once; while the port is open
// (and no update is running) a changed setting also reprograms the device. Every failure is
// an EComPort. Used from one thread only.
class TCustomComPort : public ISerialChannel {
public:
    TCustomComPort();
    explicit TCustomComPort(TComPortPlatform platform);
    // Closes the port first.
    ~TCustomComPort() override;
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    void Open() override;
    void Close() override;
    // Drops the device whatever its close reports: a descriptor is gone after close().
    void ReleaseDevice() override;
    bool Connected() const override { return FConnected; }
    // Each char is one byte. Hands the bytes to the driver and returns at once with how many it
    // took (fewer than given only when its output buffer is full). Nothing here waits: the caller
    // asks DrainMs when to look again for the bytes to have left.
    int WriteStr(const std::string& bytes) override;
    // About one line time of what is still queued from the last write, bounded by what is left
    // of that write's time-out; 0 once the queue is empty, the time-out has passed or the
    // device cannot say.
    std::uint32_t DrainMs() override;
    // Each UTF-16 code unit gives its low 8 bits: U+0410 goes out as 0x10.
    int WriteStr(const std::u16string& text);
    int ReadStr(std::string& bytes, int count) override;

    // While the update counter is above zero, setters only store. The last EndUpdate applies
    // queue sizes, line state and time-outs to an open port.
    void BeginUpdate();
    void EndUpdate();

    // The device's descriptor for waiting on it, -1 while closed.
    int Handle() const;
    // The device-control block that the current settings give.
    TComLineState LineState() const;

protected:
    const std::string& Port() const { return FPort; }
    TBaudRate BaudRate() const { return FBaudRate; }
    std::int32_t CustomBaudRate() const { return FCustomBaudRate; }
    TDataBits DataBits() const { return FDataBits; }
    TStopBits StopBits() const { return FStopBits; }
    bool DiscardNull() const { return FDiscardNull; }
    char EventChar() const { return FEventChar; }
    TComEvents Events() const { return FEvents; }
    TSyncMethod SyncMethod() const { return FSyncMethod; }
    TThreadPriority EventThreadPriority() const { return FEventThreadPriority; }
    bool TriggersOnRxChar() const { return FTriggersOnRxChar; }
    TComParity& Parity() { return FParity; }
    const TComParity& Parity() const { return FParity; }
    TComFlowControl& FlowControl() { return FFlowControl; }
    const TComFlowControl& FlowControl() const { return FFlowControl; }
    TComTimeouts& Timeouts() { return FTimeouts; }
    const TComTimeouts& Timeouts() const { return FTimeouts; }
    TComBuffer& Buffer() { return FBuffer; }
    const TComBuffer& Buffer() const { return FBuffer; }

    // Another name closes an open port and opens it anew under that name.
    void SetPort(const std::string& name);
    // The line setters store a changed value and reprogram an open port (EComPort code 7).
    void SetBaudRate(TBaudRate value) { ChangeLineState(FBaudRate, value); }
    void SetCustomBaudRate(std::int32_t value) { ChangeLineState(FCustomBaudRate, value); }
    void SetDataBits(TDataBits value) { ChangeLineState(FDataBits, value); }
    void SetStopBits(TStopBits value) { ChangeLineState(FStopBits, value); }
    void SetDiscardNull(bool value) { ChangeLineState(FDiscardNull, value); }
    void SetEventChar(char value) { ChangeLineState(FEventChar, value); }
    // Settings of the event watcher, which is not built; they are kept for their owners.
    void SetEvents(TComEvents value) { FEvents = value; }
    void SetSyncMethod(TSyncMethod value) { ChangeWhileClosed(FSyncMethod, value); }
    void SetEventThreadPriority(TThreadPriority value) {
        ChangeWhileClosed(FEventThreadPriority, value);
    }
    void SetTriggersOnRxChar(bool value) { FTriggersOnRxChar = value; }

private:
    friend class TComSettingGroup;

    bool CanApply() const { return FConnected && FUpdateCount == 0; }
    template <typename T> void ChangeLineState(T& field, T value) {
        if (StoreIfChanged(field, value))
            ApplyLineState();
    }
    // Watcher settings cannot change while the port is open (code 14).
    template <typename T> void ChangeWhileClosed(T& field, T value) {
        if (field != value && FConnected)
            throw EComPort(CE_ConnChangeProp, 0);
        field = value;
    }
    void ApplyBuffer();
    void ApplyLineState();
    void ApplyTimeouts();
    std::int64_t WriteTimeoutMs(std::size_t byteCount) const;
    std::uint32_t LineTimeMs(std::size_t byteCount) const;

    TComPortPlatform FPlatform;
    std::unique_ptr<ISerialDevice> FDevice;
    std::int64_t FWriteStart = 0;    // when the last write began
    std::int64_t FWriteTimeout = -1; // its time-out in ms; below 0: none
    bool FConnected = false;
    int FUpdateCount = 0;

    std::string FPort = "COM1";
    TBaudRate FBaudRate = br9600;
    std::int32_t FCustomBaudRate = 9600;
    TDataBits FDataBits = dbEight;
    TStopBits FStopBits = sbOneStopBit;
    bool FDiscardNull = false;
    char FEventChar = 0;
    TComEvents FEvents = TComEvents::All();
    TSyncMethod FSyncMethod = smThreadSync;
    TThreadPriority FEventThreadPriority = tpNormal;
    bool FTriggersOnRxChar = true;

    TComParity FParity{*this};
    TComFlowControl FFlowControl{*this};
    TComTimeouts FTimeouts{*this};
    TComBuffer FBuffer{*this};
};

// The port as the main window holds it (ComPort1): every setting published.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;

    using TCustomComPort::BaudRate;
    using TCustomComPort::Buffer;
    using TCustomComPort::CustomBaudRate;
    using TCustomComPort::DataBits;
    using TCustomComPort::DiscardNull;
    using TCustomComPort::EventChar;
    using TCustomComPort::Events;
    using TCustomComPort::EventThreadPriority;
    using TCustomComPort::FlowControl;
    using TCustomComPort::Parity;
    using TCustomComPort::Port;
    using TCustomComPort::StopBits;
    using TCustomComPort::SyncMethod;
    using TCustomComPort::Timeouts;
    using TCustomComPort::TriggersOnRxChar;

    using TCustomComPort::SetBaudRate;
    using TCustomComPort::SetCustomBaudRate;
    using TCustomComPort::SetDataBits;
    using TCustomComPort::SetDiscardNull;
    using TCustomComPort::SetEventChar;
    using TCustomComPort::SetEvents;
    using TCustomComPort::SetEventThreadPriority;
    using TCustomComPort::SetPort;
    using TCustomComPort::SetStopBits;
    using TCustomComPort::SetSyncMethod;
    using TCustomComPort::SetTriggersOnRxChar;
};

} // namespace vesmera
