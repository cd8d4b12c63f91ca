#include "automation/startup.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <filesystem>

#include "automation/bus_layer.h"
#include "common/display_platform.h"
#include "event/qt_scheduler.h"

namespace vesmera {

namespace {

constexpr const char* kRegistrationCaption = "Vesmera";

} // namespace

std::string ExecutablePath() {
    std::error_code error;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

StartupResult RunStartupHook(const std::vector<std::string>& arguments,
                             const RegistrationTarget& target,
                             const std::function<void(const std::string&)>& reportFailure) {
    StartupResult result{ParseStartSwitches(arguments), std::nullopt};
    const StartMode mode = result.switches.mode;
    if (mode != StartMode::smRegServer && mode != StartMode::smUnregServer)
        return result;
    const RegistryScope scope =
        result.switches.perUser ? RegistryScope::PerUser : RegistryScope::Machine;
    const auto dataDir = RegistrationDataDir(scope, target.environment);
    if (mode == StartMode::smUnregServer) {
        UnregisterServerFiles(dataDir);
        result.exitCode = 0;
        return result;
    }
    try {
        RegisterServerFiles(dataDir, target.executable);
        result.exitCode = 0;
    } catch (const RegistrationError& error) {
        reportFailure(error.Message());
        result.exitCode = 1;
    }
    return result;
}

StartupResult RunStartupHook(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const EnvironmentLookup env = ProcessEnvironment();
    return RunStartupHook(arguments, {ExecutablePath(), env}, [&](const std::string& message) {
        PrepareWindowingPlatform(argc, argv);
        int boxArgc = 1;
        char* boxArgv[] = {argv[0], nullptr};
        QApplication app(boxArgc, boxArgv);
        // Without a display nobody could answer the box.
        if (IsWindowlessPlatform(QGuiApplication::platformName().toStdString())) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return;
        }
        // No message box handler is installed this early, so the error box is shown directly.
        QMessageBox::critical(nullptr, QString::fromLatin1(kRegistrationCaption),
                              QString::fromStdString(message));
    });
}

AutomationServer::AutomationServer(StartSwitches switches, std::function<void()> quit)
    : server_(switches, std::move(quit)) {}

AutomationServer::AutomationServer(StartSwitches switches, AutomationContext context,
                                   std::function<void()> quit)
    : context_(std::move(context)), server_(switches, std::move(quit)) {}

AutomationServer::~AutomationServer() {
    Revoke();
}

BusStart AutomationServer::Start() {
    return Start(QDBusConnection::sessionBus());
}

BusStart AutomationServer::Start(const QDBusConnection& connection) {
    if (!connection.isConnected())
        return BusStart::NoBus;
    bus_ = std::make_unique<AutomationBusLayer>(server_, connection);
    bus_->SetReading(reading_);
    if (context_)
        bus_->Serve(*context_);
    if (!bus_->Offer()) {
        bus_.reset();
        return server_.Mode() == StartMode::smAutomation ? BusStart::ExitNow : BusStart::NamesTaken;
    }
    if (context_)
        EndIfUnused();
    return BusStart::Serving;
}

void AutomationServer::Serve(AutomationContext context) {
    context_.emplace(std::move(context));
    if (!bus_)
        return;
    bus_->Serve(*context_);
    EndIfUnused();
}

void AutomationServer::EndIfUnused() {
    // Counted from the moment calls are served, so that a slow start of the windows never
    // ends the program under a client whose creation is still waiting.
    if (!scheduler_) {
        ownScheduler_ = std::make_unique<QtScheduler>();
        scheduler_ = ownScheduler_.get();
    }
    server_.EndIfUnusedAfter(*scheduler_, kUnusedCopyEndMs);
}

void AutomationServer::SetReading(LiveReading* reading) {
    reading_ = reading;
    if (bus_)
        bus_->SetReading(reading);
}

void AutomationServer::Revoke() {
    if (bus_)
        bus_->Revoke();
}

} // namespace vesmera
