#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/main_window_views.h"
#include "common/held_settings.h"
#include "common/poll_reading.h"
#include "common/views.h"
#include "net/line_channel.h"

namespace vesmera {

// Everything of the main window that the apply step reads or changes. The references stay
// valid for the apply step's lifetime.
struct ApplyTargets {
    ISettingsSource& source;
    HeldSettings& settings;                  // the held values, replaced by every load
    std::vector<std::string>& terminalNames; // the hidden list
    IIndicatorPanel& indicator;
    IScreenPanel& lcdScreen1;
    IScreenPanel& lcdScreen2;
    ITabControlView& tabControl;
    ISkinSwitch& skin;
    ISerialPortSetup& port;
    ITimerSwitch& timer1;
    ITimerSwitch& timer2;
    ITimerSwitch& timer3;
    ITimerSwitch& timer5;
    ILineChannel& tcpClient; // IdTCPClient1
};

// The main window's FormCreate: load the settings, apply colours and skin, then set up the
// network or the local mode. Run at creation and after every save of the settings dialog.
class ApplyStep {
public:
    // supersede (may be empty) is told just before the mode's timers are set: the exchanges,
    // zero commands and held ticks in flight belong to the settings being replaced, and from
    // then on they have no say over the display, the shared weight or the timers.
    // show (may be empty) puts the step's own changes of what is shown on the display; by
    // default they go straight to the indicator and LCDScreen1.
    using Show = std::function<void(const PollReading&)>;
    explicit ApplyStep(ApplyTargets targets, std::function<void()> supersede = {}, Show show = {})
        : t_(targets), supersede_(std::move(supersede)), show_(std::move(show)) {}

    // The first step that fails ends the run; the steps done before stay in effect and
    // nothing is reported. The shared weight, status and error counter are never touched.
    void Run();

private:
    void ApplyColors();
    void ApplySkin();
    void ApplyNetworkMode();
    void ApplyLocalMode();
    void PlaceWidgets(int top, int height);
    void Supersede();
    void Display(const PollReading& reading);

    ApplyTargets t_;
    std::function<void()> supersede_;
    Show show_;
};

} // namespace vesmera
