#pragma once

#include <string>
#include <vector>

#include "app/main_window_views.h"
#include "common/exception.h"
#include "common/number_text.h"
#include "link/serial_channel.h"
#include "net/line_channel.h"
#include "support/fake_scheduler.h"

namespace vesmera::testing_fakes {

// Every fake writes what it was told into one shared journal, so tests check the order of the
// steps and where a failure stopped them.
using Journal = std::vector<std::string>;

inline std::string Num(long long v) {
    return std::to_string(v);
}

// The geometry part shared by the indicator and screen fakes.
class FakeBox {
public:
    FakeBox(Journal& j, std::string name) : j_(j), name_(std::move(name)) {}
    void SetTop(int top) { top_ = top, Log("Top=" + Num(top)); }
    void SetWidth(int width) { width_ = width, Log("Width=" + Num(width)); }
    void SetHeight(int height) { height_ = height, Log("Height=" + Num(height)); }
    int Height() const { return height_; }
    int top_ = -1, width_ = -1, height_ = -1;

protected:
    void Log(const std::string& what) { j_.push_back(name_ + "." + what); }
    Journal& j_;
    std::string name_;
};

class FakeIndicator final : public FakeBox, public IIndicatorPanel {
public:
    using FakeBox::FakeBox;
    void SetIndicatorString(const std::string& text) override { text_ = text, Log("Text=" + text); }
    std::string IndicatorString() const { return text_; }
    void SetNumberForeColor(TColor c) override { Log("NumberForeColor=" + Num(c)); }
    void SetVisible(bool v) override { visible_ = v, Log(v ? "Show" : "Hide"); }
    bool IsVisible() const { return visible_; }
    void SetNumberBackColor(TColor c) override { Log("NumberBackColor=" + Num(c)); }
    void SetBackColor(TColor c) override { Log("BackColor=" + Num(c)); }
    void SetTop(int v) override { FakeBox::SetTop(v); }
    void SetWidth(int v) override { FakeBox::SetWidth(v); }
    void SetHeight(int v) override { FakeBox::SetHeight(v); }
    int Height() const override { return FakeBox::Height(); }
    std::string text_;
    bool visible_ = false;
};

class FakeScreen final : public FakeBox, public IScreenPanel {
public:
    using FakeBox::FakeBox;
    void SetText(const std::string& text) override { text_ = text, Log("Text=" + text); }
    std::string Text() const { return text_; }
    void SetVisible(bool v) override { visible_ = v, Log(v ? "Show" : "Hide"); }
    bool IsVisible() const { return visible_; }
    void SetColor(TColor c) override { Log("Color=" + Num(c)); }
    void SetPixelOff(TColor c) override { Log("PixelOff=" + Num(c)); }
    void SetFontColor(TColor c) override { Log("FontColor=" + Num(c)); }
    void SetFontSize(int points) override { fontSize_ = points, Log("FontSize=" + Num(points)); }
    void SetLinesXOffset(int dots) override { Log("LinesXOffset=" + Num(dots)); }
    void ResetDisplay() override { Log("Reset(rmDisplay)"); }
    void SetTop(int v) override { FakeBox::SetTop(v); }
    void SetWidth(int v) override { FakeBox::SetWidth(v); }
    void SetHeight(int v) override { FakeBox::SetHeight(v); }
    int Height() const override { return FakeBox::Height(); }
    std::string text_;
    bool visible_ = true;
    int fontSize_ = -1;
};

class FakeTabs final : public ITabControlView {
public:
    explicit FakeTabs(Journal& j) : j_(j) {}
    int Top() const override { return top_; }
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void ClearTabs() override { tabs_.clear(), j_.push_back("tabs.Clear"); }
    void AddTab(const std::string& c) override {
        tabs_.push_back(c), j_.push_back("tabs.Add=" + c);
    }
    int top_ = 0, width_ = 403, height_ = 127;
    std::vector<std::string> tabs_;

private:
    Journal& j_;
};

class FakeTimer final : public ITimerSwitch {
public:
    FakeTimer(Journal& j, std::string name, bool on = false)
        : j_(j), name_(std::move(name)), on_(on) {}
    void SetEnabled(bool e) override { on_ = e, j_.push_back(name_ + (e ? ".On" : ".Off")); }
    bool IsEnabled() const override { return on_; }

private:
    Journal& j_;
    std::string name_;
    bool on_;
};

class FakeSkin final : public ISkinSwitch {
public:
    explicit FakeSkin(Journal& j) : j_(j) {}
    void SetSkinName(const std::string& n) override { j_.push_back("skin.Name=" + n); }
    void SetActive(bool a) override { j_.push_back(a ? "skin.On" : "skin.Off"); }

private:
    Journal& j_;
};

class FakePort final : public ISerialPortSetup {
public:
    explicit FakePort(Journal& j) : j_(j) {}
    void SetBaudRate(int bps) override { baud_ = bps, j_.push_back("port.Baud=" + Num(bps)); }
    void SetPortName(const std::string& n) override { name_ = n, j_.push_back("port.Name=" + n); }
    void SetLineFormat() override { j_.push_back("port.8N1"); }
    void Open() override {
        j_.push_back("port.Open");
        if (failOpen_) {
            throw Exception("Unable to open com-port");
        }
        open_ = true;
    }
    void Close() override { open_ = false, j_.push_back("port.Close"); }
    int baud_ = 19200;
    std::string name_ = "COM1";
    bool open_ = false;
    bool failOpen_ = false;

private:
    Journal& j_;
};

class FakeSource final : public ISettingsSource {
public:
    explicit FakeSource(Journal& j) : j_(j) {}
    HeldSettings Load() override { return j_.push_back("load"), settings_; }
    void ReadTerminalList(std::vector<std::string>& names) override {
        j_.push_back("list.Read");
        if (!listExists_) {
            throw Exception("Cannot open file");
        }
        names = list_;
    }
    HeldSettings settings_;
    bool listExists_ = true;
    std::vector<std::string> list_;

private:
    Journal& j_;
};

class FakeLineChannel final : public ILineChannel {
public:
    explicit FakeLineChannel(Journal& j) : j_(j) {}
    void SetHost(const std::string& h) override { j_.push_back("tcp.Host=" + h); }
    void SetPort(std::uint16_t p) override { j_.push_back("tcp.Port=" + Num(p)); }
    void SetConnectTimeout(std::int32_t ms) override { connectTimeoutMs = ms; }
    void SetReadTimeout(std::int32_t ms) override { readTimeoutMs = ms; }
    void SetNagle(bool on) override { nagle = on; }
    // Operations never end: the window's tests look at what the ticks start, not at replies.
    void Connect(LineDone) override {}
    bool Connected() override { return connected_; }
    void WriteLn(const std::string&, LineDone) override {}
    void ReadLn(LineDone) override {}
    void Disconnect() override { connected_ = false; }
    bool Busy() const override { return false; }
    // The dead-connection pair of the line channel; a fake connection never dies.
    bool Dead() const override { return false; }
    void Discard() override { connected_ = false; }
    bool connected_ = false;
    // The settings as last given; those of a new channel until then.
    std::int32_t connectTimeoutMs = 0;
    std::int32_t readTimeoutMs = -1;
    bool nagle = true;

private:
    Journal& j_;
};

// ComPort1 for the window: opening and configuring are recorded, writes are kept, and each
// read hands out `reply` (nothing by default).
class FakeComPort final : public ISerialChannel, public ISerialPortSetup {
public:
    void Open() override {
        if (failOpen) {
            throw Exception("Unable to open com port (Error: 13)");
        }
        open = true;
        ++opens;
    }
    void Close() override { open = false; }
    bool Connected() const override { return open; }
    int WriteStr(const std::string& bytes) override {
        RefuseWhenClosed();
        written += bytes;
        return static_cast<int>(bytes.size());
    }
    int ReadStr(std::string& bytes, int) override {
        RefuseWhenClosed();
        bytes = reply;
        return static_cast<int>(bytes.size());
    }
    void SetBaudRate(int bps) override { baud = bps; }
    void SetPortName(const std::string& n) override { name = n; }
    void SetLineFormat() override { lineFormat = true; }

    bool open = false, failOpen = false, lineFormat = false;
    // Writes and reads on a closed port fail, as the real port's do.
    bool closedFails = false;
    int opens = 0, baud = 19200;
    std::string name = "COM1", written, reply;

private:
    void RefuseWhenClosed() const {
        if (closedFails && !open)
            throw Exception("Port not open");
    }
};

// The main window's scheduler in tests: exchanges on the line run to their ends only when a
// test says so.
class StepScheduler final {
public:
    IScheduler& Scheduler() { return scheduler_; }
    // Runs every pending step of the exchanges.
    void Settle() {
        while (scheduler_.RunNextTimer()) {
        }
    }
    // Runs the steps that fall due within ms, leaving later ones in flight.
    void Advance(std::int64_t ms) { scheduler_.Advance(ms); }
    // Runs what the watched descriptors have to say, until they are quiet for waitMs.
    void Pump(int waitMs = 50) {
        while (scheduler_.PumpDescriptors(waitMs) > 0) {
        }
    }
    std::int64_t NowMs() const { return scheduler_.NowMs(); }

private:
    vesmera::testing::FakeScheduler scheduler_;
};

} // namespace vesmera::testing_fakes
