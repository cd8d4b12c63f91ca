#include "app/apply_step.h"

#include <optional>

#include "common/color.h"
#include "common/exception.h"
#include "link/comport_types.h"
#include "link/poll_timers.h"

namespace vesmera {

namespace {

constexpr const char* kNetworkPlaceholder = "-------";
constexpr const char* kInternalSkinSuffix = " (internal)";

void ColorScreen(IScreenPanel& screen, const HeldSettings& s) {
    screen.SetColor(TextToColor(s.background));
    screen.SetPixelOff(TextToColor(s.background));
    screen.SetFontColor(TextToColor(s.color1));
}

} // namespace

void ApplyStep::Run() {
    try {
        t_.settings = t_.source.Load();
        ApplyColors();
        ApplySkin();
        if (t_.settings.networkMode) {
            ApplyNetworkMode();
        } else {
            ApplyLocalMode();
        }
    } catch (const Exception&) {
        // The apply step reports nothing: a bad colour, a missing terminal list or a port
        // that does not open just ends it here. Timer4 reports a port failure later.
    }
}

void ApplyStep::ApplyColors() {
    const HeldSettings& s = t_.settings;
    // Each use converts the text again, so a failure stops exactly at the first use.
    t_.indicator.SetNumberBackColor(TextToColor(s.background));
    t_.indicator.SetBackColor(TextToColor(s.background));
    ColorScreen(t_.lcdScreen1, s);
    ColorScreen(t_.lcdScreen2, s);
}

void ApplyStep::ApplySkin() {
    if (t_.settings.skin == kSkinNone) {
        t_.skin.SetActive(false);
    } else {
        t_.skin.SetSkinName(t_.settings.skin + kInternalSkinSuffix);
        t_.skin.SetActive(true);
    }
}

void ApplyStep::PlaceWidgets(int top, int height) {
    const int width = t_.tabControl.Width();
    for (IBoxView* box :
         {static_cast<IBoxView*>(&t_.indicator), static_cast<IBoxView*>(&t_.lcdScreen1),
          static_cast<IBoxView*>(&t_.lcdScreen2)}) {
        box->SetWidth(width);
        box->SetTop(top);
        box->SetHeight(height);
    }
}

void ApplyStep::ApplyNetworkMode() {
    PlaceWidgets(t_.tabControl.Top() + kTabStripHeight, t_.tabControl.Height() - kTabStripHeight);
    t_.source.ReadTerminalList(t_.terminalNames);
    t_.tabControl.ClearTabs();
    for (const std::string& name : t_.terminalNames) {
        t_.tabControl.AddTab(name);
    }
    t_.tcpClient.SetHost(t_.settings.ip);
    t_.tcpClient.SetPort(t_.settings.TcpPort());
    Supersede();
    t_.timer1.SetEnabled(false);
    t_.timer5.SetEnabled(false);
    t_.timer2.SetEnabled(true);
    t_.timer3.SetEnabled(true);
    t_.port.Close();
    PollReading placeholder;
    placeholder.weightText = kNetworkPlaceholder;
    Display(placeholder);
}

void ApplyStep::Display(const PollReading& reading) {
    if (show_)
        show_(reading);
    else
        RenderReading(reading, t_.indicator, t_.lcdScreen1);
}

void ApplyStep::Supersede() {
    if (supersede_)
        supersede_();
}

void ApplyStep::ApplyLocalMode() {
    PlaceWidgets(t_.tabControl.Top(), t_.tabControl.Height());
    Supersede();
    t_.timer2.SetEnabled(false);
    t_.timer3.SetEnabled(false);
    SelectPollTimer(t_.settings.protocol, t_.timer1, t_.timer5);
    PollReading indicator;
    indicator.face = PollReading::Face::Indicator;
    Display(indicator);
    // Any other speed keeps the port's own.
    if (SelectableBaudRate(t_.settings.baudRate))
        t_.port.SetBaudRate(t_.settings.baudRate);
    t_.port.SetPortName(t_.settings.port);
    t_.port.SetLineFormat();
    t_.port.Open();
}

} // namespace vesmera
