#include "link/comport.h"

#include "link/comport_name.h"
#include "link/termios_backend.h"

#include <algorithm>
#include <cerrno>
#include <limits>

namespace vesmera {

TComPortPlatform TComPortPlatform::System() {
    static TermiosSerialBackend backend;
    static SteadyComClock clock;
    return {&backend, &clock};
}

TCustomComPort::TCustomComPort() : TCustomComPort(TComPortPlatform::System()) {}

TCustomComPort::TCustomComPort(TComPortPlatform platform) : FPlatform(platform) {}

TCustomComPort::~TCustomComPort() {
    try {
        Close();
    } catch (const EComPort&) {
        // Aborting pending work failed; a destructor cannot report that, and the device must
        // not outlive its port.
        ReleaseDevice();
    }
}

void TCustomComPort::Open() {
    if (FConnected)
        return;
    std::optional<std::string> path = ComPortDevicePath(FPort);
    if (!path)
        throw EComPort(CE_OpenFailed, ENOENT);
    SerialOpenResult opened = FPlatform.backend->Open(*path);
    if (!opened.device)
        throw EComPort(CE_OpenFailed, opened.error);
    FDevice = std::move(opened.device);
    FConnected = true;
    try {
        ApplyBuffer();
        ApplyLineState();
        ApplyTimeouts();
    } catch (const EComPort&) {
        ReleaseDevice();
        throw;
    }
    // No event watcher thread is started: nothing in the program handles port events, and the
    // watcher never reads received bytes, so Events, SyncMethod and EventThreadPriority are
    // only kept.
}

void TCustomComPort::Close() {
    if (!FConnected)
        return;
    if (int error = FDevice->AbortPending(); error != 0)
        throw EComPort(CE_PurgeFailed, error);
    ReleaseDevice();
}

void TCustomComPort::ReleaseDevice() {
    if (FDevice) {
        // Linux releases a descriptor even when close() reports an error, so there is nothing
        // to keep and nothing to retry.
        static_cast<void>(FDevice->Close());
        FDevice.reset();
    }
    FConnected = false;
}

int TCustomComPort::Handle() const {
    return FDevice ? FDevice->Handle() : -1;
}

std::int64_t TCustomComPort::WriteTimeoutMs(std::size_t byteCount) const {
    const TComTimeoutValues& t = FTimeouts.Values();
    if (t.writeTotalMultiplier == 0 && t.writeTotalConstant == 0)
        return -1; // both zero: no write time-out
    return static_cast<std::int64_t>(t.writeTotalMultiplier) *
               static_cast<std::int64_t>(byteCount) +
           static_cast<std::int64_t>(t.writeTotalConstant);
}

std::uint32_t TCustomComPort::LineTimeMs(std::size_t byteCount) const {
    // Ten bit times per byte (start, eight data, stop), rounded up to whole milliseconds.
    const std::int64_t baud = BaudRateValue(FBaudRate, FCustomBaudRate);
    if (baud <= 0)
        return 1;
    const std::int64_t ms = (static_cast<std::int64_t>(byteCount) * 10000 + baud - 1) / baud;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(ms, 1, 1000));
}

int TCustomComPort::WriteStr(const std::string& bytes) {
    if (bytes.empty())
        return 0;
    if (!FConnected)
        throw EComPort(CEPortNotOpen, 0);
    FWriteStart = FPlatform.clock->NowMs();
    FWriteTimeout = WriteTimeoutMs(bytes.size());
    std::size_t written = 0;
    while (written < bytes.size()) {
        SerialTransfer sent = FDevice->Write(bytes.data() + written, bytes.size() - written);
        if (sent.error != 0)
            throw EComPort(CE_WriteFailed, sent.error);
        if (sent.count == 0)
            break; // the driver is full: the rest never reaches it, as at a write time-out
        written += sent.count;
    }
    return static_cast<int>(written);
}

std::uint32_t TCustomComPort::DrainMs() {
    if (!FConnected)
        return 0;
    SerialTransfer queued = FDevice->OutputQueued();
    if (queued.error != 0 || queued.count == 0)
        return 0;
    std::int64_t left = std::numeric_limits<std::uint32_t>::max();
    if (FWriteTimeout >= 0) {
        left = FWriteTimeout - (FPlatform.clock->NowMs() - FWriteStart);
        if (left <= 0)
            return 0;
    }
    return static_cast<std::uint32_t>(std::min<std::int64_t>(left, LineTimeMs(queued.count)));
}

int TCustomComPort::WriteStr(const std::u16string& text) {
    std::string bytes(text.size(), '\0');
    std::transform(text.begin(), text.end(), bytes.begin(),
                   [](char16_t unit) { return static_cast<char>(unit & 0xFF); });
    return WriteStr(bytes);
}

int TCustomComPort::ReadStr(std::string& bytes, int count) {
    if (count <= 0) {
        bytes.clear();
        return 0;
    }
    if (!FConnected)
        throw EComPort(CEPortNotOpen, 0);
    std::string buffer(static_cast<std::size_t>(count), '\0');
    SerialTransfer read = FDevice->Read(buffer.data(), buffer.size());
    if (read.error != 0)
        throw EComPort(CE_ReadFailed, read.error);
    if (int error = FDevice->QueryStatus(); error != 0)
        throw EComPort(CE_ClearComFailed, error);
    buffer.resize(read.count);
    bytes = std::move(buffer);
    return static_cast<int>(read.count);
}

void TCustomComPort::BeginUpdate() {
    ++FUpdateCount;
}

void TCustomComPort::EndUpdate() {
    if (FUpdateCount == 0)
        return;
    if (--FUpdateCount == 0) {
        ApplyBuffer();
        ApplyLineState();
        ApplyTimeouts();
    }
}

TComLineState TCustomComPort::LineState() const {
    TComLineState s;
    s.baudRate = BaudRateValue(FBaudRate, FCustomBaudRate);
    s.parityCheck = FParity.Check();
    s.outCtsFlow = FFlowControl.OutCTSFlow();
    s.outDsrFlow = FFlowControl.OutDSRFlow();
    s.dtrControl = FFlowControl.ControlDTR();
    s.dsrSensitivity = FFlowControl.DSRSensitivity();
    s.txContinueOnXoff = FFlowControl.TxContinueOnXoff();
    s.outX = FFlowControl.XonXoffOut();
    s.inX = FFlowControl.XonXoffIn();
    s.errorCharReplace = FParity.Check() && FParity.Replace();
    s.discardNull = FDiscardNull;
    s.rtsControl = FFlowControl.ControlRTS();
    s.xonLimit = FBuffer.InputSize() / 4;
    s.xoffLimit = FBuffer.InputSize() / 4;
    s.byteSize = 5 + static_cast<std::int32_t>(FDataBits);
    s.parity = FParity.Bits();
    s.stopBits = FStopBits;
    s.xonChar = FFlowControl.XonChar();
    s.xoffChar = FFlowControl.XoffChar();
    s.errorChar = s.errorCharReplace ? FParity.ReplaceChar() : '\0';
    s.eventChar = FEventChar;
    return s;
}

void TCustomComPort::ApplyBuffer() {
    if (!CanApply())
        return;
    if (int error = FDevice->SetQueueSizes(FBuffer.InputSize(), FBuffer.OutputSize()); error != 0)
        throw EComPort(CE_SetupComFailed, error);
}

void TCustomComPort::ApplyLineState() {
    if (!CanApply())
        return;
    if (int error = FDevice->SetLineState(LineState()); error != 0)
        throw EComPort(CE_SetStateFailed, error);
}

void TCustomComPort::ApplyTimeouts() {
    if (!CanApply())
        return;
    if (int error = FDevice->SetTimeouts(FTimeouts.Values()); error != 0)
        throw EComPort(CE_TimeoutsFailed, error);
}

void TCustomComPort::SetPort(const std::string& name) {
    if (name == FPort)
        return;
    FPort = name;
    if (FConnected) {
        Close();
        Open();
    }
}

} // namespace vesmera
