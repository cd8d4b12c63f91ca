#pragma once

#include "link/comport_types.h"

#include <cstdint>

namespace vesmera {

class TCustomComPort;

// Stores value into field; true when that changed it, so that the caller reprograms the device.
template <typename T> bool StoreIfChanged(T& field, T value) {
    if (field == value)
        return false;
    field = value;
    return true;
}

// The four setting groups of the port (parity, flow control, time-outs, queue sizes). Each is
// owned by its port and keeps a reference back to it, so that a value changed while the port
// is open reprograms the device at once. A setter stores a changed value first; a failing
// device leaves it stored and raises the port's EComPort.
class TComSettingGroup {
public:
    TComSettingGroup(const TComSettingGroup&) = delete;
    TComSettingGroup& operator=(const TComSettingGroup&) = delete;

    TCustomComPort& ComPort() const { return FComPort; }

protected:
    explicit TComSettingGroup(TCustomComPort& comPort) : FComPort(comPort) {}
    ~TComSettingGroup() = default;

    // Line state changes fail with code 7, time-outs with code 8, queue sizes with code 9.
    template <typename T> void ChangeLineState(T& field, T value) {
        if (StoreIfChanged(field, value))
            ApplyLineState();
    }
    template <typename T> void ChangeTimeouts(T& field, T value) {
        if (StoreIfChanged(field, value))
            ApplyTimeouts();
    }
    template <typename T> void ChangeBuffer(T& field, T value) {
        if (StoreIfChanged(field, value))
            ApplyBuffer();
    }

private:
    void ApplyLineState();
    void ApplyTimeouts();
    void ApplyBuffer();

    TCustomComPort& FComPort;
};

class TComParity final : public TComSettingGroup {
public:
    explicit TComParity(TCustomComPort& comPort) : TComSettingGroup(comPort) {}

    TParityBits Bits() const { return FBits; }
    bool Check() const { return FCheck; }
    bool Replace() const { return FReplace; }
    char ReplaceChar() const { return FReplaceChar; }

    void SetBits(TParityBits value) { ChangeLineState(FBits, value); }
    void SetCheck(bool value) { ChangeLineState(FCheck, value); }
    void SetReplace(bool value) { ChangeLineState(FReplace, value); }
    void SetReplaceChar(char value) { ChangeLineState(FReplaceChar, value); }

private:
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    char FReplaceChar = 0;
};

class TComFlowControl final : public TComSettingGroup {
public:
    explicit TComFlowControl(TCustomComPort& comPort) : TComSettingGroup(comPort) {}

    bool OutCTSFlow() const { return FOutCTSFlow; }
    bool OutDSRFlow() const { return FOutDSRFlow; }
    TDTRFlowControl ControlDTR() const { return FControlDTR; }
    TRTSFlowControl ControlRTS() const { return FControlRTS; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DSRSensitivity() const { return FDSRSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
    char XonChar() const { return FXonChar; }
    char XoffChar() const { return FXoffChar; }

    void SetOutCTSFlow(bool value) { ChangeLineState(FOutCTSFlow, value); }
    void SetOutDSRFlow(bool value) { ChangeLineState(FOutDSRFlow, value); }
    void SetControlDTR(TDTRFlowControl value) { ChangeLineState(FControlDTR, value); }
    void SetControlRTS(TRTSFlowControl value) { ChangeLineState(FControlRTS, value); }
    void SetXonXoffOut(bool value) { ChangeLineState(FXonXoffOut, value); }
    void SetXonXoffIn(bool value) { ChangeLineState(FXonXoffIn, value); }
    void SetDSRSensitivity(bool value) { ChangeLineState(FDSRSensitivity, value); }
    void SetTxContinueOnXoff(bool value) { ChangeLineState(FTxContinueOnXoff, value); }
    void SetXonChar(char value) { ChangeLineState(FXonChar, value); }
    void SetXoffChar(char value) { ChangeLineState(FXoffChar, value); }

private:
    bool FOutCTSFlow = false;
    bool FOutDSRFlow = false;
    TDTRFlowControl FControlDTR = dtrDisable;
    TRTSFlowControl FControlRTS = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FTxContinueOnXoff = false;
    char FXonChar = 17;
    char FXoffChar = 19;
};

class TComTimeouts final : public TComSettingGroup {
public:
    explicit TComTimeouts(TCustomComPort& comPort) : TComSettingGroup(comPort) {}

    const TComTimeoutValues& Values() const { return FValues; }
    std::uint32_t ReadInterval() const { return FValues.readInterval; }
    std::uint32_t ReadTotalMultiplier() const { return FValues.readTotalMultiplier; }
    std::uint32_t ReadTotalConstant() const { return FValues.readTotalConstant; }
    std::uint32_t WriteTotalMultiplier() const { return FValues.writeTotalMultiplier; }
    std::uint32_t WriteTotalConstant() const { return FValues.writeTotalConstant; }

    void SetReadInterval(std::uint32_t value) { ChangeTimeouts(FValues.readInterval, value); }
    void SetReadTotalMultiplier(std::uint32_t value) {
        ChangeTimeouts(FValues.readTotalMultiplier, value);
    }
    void SetReadTotalConstant(std::uint32_t value) {
        ChangeTimeouts(FValues.readTotalConstant, value);
    }
    void SetWriteTotalMultiplier(std::uint32_t value) {
        ChangeTimeouts(FValues.writeTotalMultiplier, value);
    }
    void SetWriteTotalConstant(std::uint32_t value) {
        ChangeTimeouts(FValues.writeTotalConstant, value);
    }

private:
    TComTimeoutValues FValues;
};

class TComBuffer final : public TComSettingGroup {
public:
    explicit TComBuffer(TCustomComPort& comPort) : TComSettingGroup(comPort) {}

    std::int32_t InputSize() const { return FInputSize; }
    std::int32_t OutputSize() const { return FOutputSize; }

    // A positive odd size is stored one smaller.
    void SetInputSize(std::int32_t value) { ChangeBuffer(FInputSize, Even(value)); }
    void SetOutputSize(std::int32_t value) { ChangeBuffer(FOutputSize, Even(value)); }

private:
    static std::int32_t Even(std::int32_t value) {
        return value > 0 && value % 2 == 1 ? value - 1 : value;
    }

    std::int32_t FInputSize = 1024;
    std::int32_t FOutputSize = 1024;
};

} // namespace vesmera
