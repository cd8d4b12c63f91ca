#pragma once

#include <string>
#include <vector>

#include "common/color.h"
#include "common/held_settings.h"
#include "common/views.h"

namespace vesmera {

// The tab strip along the tab control's top, which network mode leaves visible.
inline constexpr int kTabStripHeight = 20;

// The placement a display widget takes from the apply step and the resize rules. Left stays 0
// in the tab control's client area, so only top, width and height are ever set.
class IBoxView {
public:
    virtual ~IBoxView() = default;
    virtual void SetTop(int top) = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;
    virtual int Height() const = 0;
};

// The segment indicator as the main window drives it.
class IIndicatorPanel : public IIndicatorView, public IBoxView {
public:
    virtual void SetNumberBackColor(TColor color) = 0;
    virtual void SetBackColor(TColor color) = 0;
};

// An LCD screen (the message screen LCDScreen1 or the backdrop LCDScreen2).
class IScreenPanel : public IMessageView, public IBoxView {
public:
    virtual void SetColor(TColor color) = 0;
    virtual void SetPixelOff(TColor color) = 0;
    virtual void SetFontColor(TColor color) = 0;
    virtual void SetFontSize(int points) = 0;
    virtual void SetLinesXOffset(int dots) = 0;
    // Reset with rmDisplay: scroll references back to 0, lines parsed and drawn again.
    virtual void ResetDisplay() = 0;
};

// sTabControl1: its geometry in the window's client area and its tabs.
class ITabControlView {
public:
    virtual ~ITabControlView() = default;
    virtual int Top() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void ClearTabs() = 0;
    virtual void AddTab(const std::string& caption) = 0;
};

// The main window's outer frame, as the 150-pixel snap sees it.
class IWindowFrame {
public:
    virtual ~IWindowFrame() = default;
    virtual int OuterHeight() const = 0;
    // Whether the window system shows the window, so that OuterHeight is the height it reports
    // (or the user dragged). Before that the first sizing measures the client area alone, which
    // must not snap.
    virtual bool Shown() const { return true; }
    // Also makes the tab control follow at once, so the rules read its new height.
    virtual void SetOuterHeight(int height) = 0;
};

// The skin manager as the apply step sees it.
class ISkinSwitch {
public:
    virtual ~ISkinSwitch() = default;
    virtual void SetSkinName(const std::string& name) = 0;
    virtual void SetActive(bool active) = 0;
};

// ComPort1 as the apply step configures it. Failures are exceptions (EComPort).
class ISerialPortSetup {
public:
    virtual ~ISerialPortSetup() = default;
    // One of 9600, 14400, 19200, 38400, 57600.
    virtual void SetBaudRate(int bitsPerSecond) = 0;
    virtual void SetPortName(const std::string& name) = 0;
    // 8 data bits, 1 stop bit, parity checking off, null stripping off.
    virtual void SetLineFormat() = 0;
    virtual void Open() = 0;
    virtual void Close() = 0;
};

// Where the apply step reads the settings and the terminal list from.
class ISettingsSource {
public:
    virtual ~ISettingsSource() = default;
    // Recomputes the executable directory and reads the twelve settings; never fails.
    virtual HeldSettings Load() = 0;
    // Replaces names with the terminal list file's lines; fails when the file cannot be read,
    // leaving names as they were.
    virtual void ReadTerminalList(std::vector<std::string>& names) = 0;
};

} // namespace vesmera
