// A stand-in for the program entry while the main window does not exist: the same start-up
// hook and automation server, over a fixed reading (12,5 stable, local mode) and no timers,
// so bus activation and the bus layer's own speed can be exercised on their own.

#include <QApplication>

#include "automation/startup.h"
#include "event/qt_scheduler.h"
#include "fake_channels.h"

int main(int argc, char** argv) {
    using namespace vesmera;
    const StartupResult start = RunStartupHook(argc, argv);
    if (start.exitCode)
        return *start.exitCode;
    QApplication app(argc, argv);

    HeldSettings settings;
    SharedWeightState weight;
    weight.weight = 12.5L;
    weight.status = kStatusStable;
    test::MainChannelStub main;
    main.state = test::MainChannelStub::State::Disconnected;
    QtScheduler scheduler;
    test::ScriptedChannelFactory channels{scheduler};
    ServerCallPool calls{channels};
    AutomationServer automation(
        start.switches,
        {settings, weight, main, calls, [](std::function<void()> done) { done(); }},
        [] { QCoreApplication::exit(0); });
    if (automation.Start() == BusStart::ExitNow)
        return 0;
    return app.exec();
}
