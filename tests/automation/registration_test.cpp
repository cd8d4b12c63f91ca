#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

#include "automation/bus_registration.h"
#include "automation/com_server.h"
#include "automation/start_mode.h"
#include "automation/startup.h"
#include "common/message_box.h"

namespace vesmera {
namespace {

// --- switches -------------------------------------------------------------------------------

struct SwitchRow {
    const char* label;
    std::vector<std::string> args;
    StartMode mode;
    bool perUser;
};

class StartSwitchesTest : public testing::TestWithParam<SwitchRow> {};

TEST_P(StartSwitchesTest, FirstHitInFixedOrderDecides) {
    const StartSwitches s = ParseStartSwitches(GetParam().args);
    EXPECT_EQ(s.mode, GetParam().mode);
    EXPECT_EQ(s.perUser, GetParam().perUser);
}

using M = StartMode;
INSTANTIATE_TEST_SUITE_P(
    Rows, StartSwitchesTest,
    testing::Values(
        SwitchRow{"None", {}, M::smStandalone, false},
        SwitchRow{"SlashLower", {"/regserver"}, M::smRegServer, false},
        SwitchRow{"DashMixed", {"-RegServer"}, M::smRegServer, false},
        SwitchRow{"SlashUpper", {"/REGSERVER"}, M::smRegServer, false},
        SwitchRow{"WithValueIsNoSwitch", {"/REGSERVER=1"}, M::smStandalone, false},
        SwitchRow{"BareWordIsNoSwitch", {"REGSERVER"}, M::smStandalone, false},
        SwitchRow{"LoneSlash", {"/", "-"}, M::smStandalone, false},
        SwitchRow{
            "AutomationBeatsRegServer", {"/REGSERVER", "/AUTOMATION"}, M::smAutomation, false},
        SwitchRow{"Embedding", {"-embedding"}, M::smAutomation, false},
        SwitchRow{"Unreg", {"/UnRegServer"}, M::smUnregServer, false},
        SwitchRow{"RegBeatsUnreg", {"/unregserver", "/regserver"}, M::smRegServer, false},
        SwitchRow{"PerUser", {"/RegServerPerUser"}, M::smRegServer, true},
        SwitchRow{"UnregPerUser", {"-UNREGSERVERPERUSER"}, M::smUnregServer, true},
        SwitchRow{
            "MachineBeatsPerUser", {"/regserverperuser", "/unregserver"}, M::smUnregServer, false},
        SwitchRow{
            "OtherArgumentsIgnored", {"file.txt", "--x", "/AUTOMATION"}, M::smAutomation, false}),
    [](const testing::TestParamInfo<SwitchRow>& info) { return std::string(info.param.label); });

// --- server object --------------------------------------------------------------------------

class BoxRecorder {
public:
    explicit BoxRecorder(MessageResult answer) {
        previous_ = SetMessageBoxHandler([this, answer](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return answer;
        });
    }
    ~BoxRecorder() { SetMessageBoxHandler(previous_); }
    std::vector<MessageBoxRequest> boxes;

private:
    MessageBoxHandler previous_;
};

TEST(ComServer, LastReleaseQuitsOnlyAProgramStartedForClients) {
    int quits = 0;
    TComServer automation({StartMode::smAutomation, false}, [&] { ++quits; });
    EXPECT_EQ(automation.CountObject(true), 1);
    EXPECT_EQ(automation.CountObject(true), 2); // an object and a server lock alike
    EXPECT_EQ(automation.CountObject(false), 1);
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(automation.CountObject(false), 0);
    EXPECT_EQ(quits, 1);

    TComServer standalone({StartMode::smStandalone, false}, [&] { ++quits; });
    standalone.CountObject(true);
    EXPECT_EQ(standalone.CountObject(false), 0);
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(standalone.GetServerName(), "Vesmera");
    EXPECT_STREQ(TComServer::GetServerKey(), "LocalServer32");
}

TEST(ComServer, ClosesWithoutAskingWhenNoObjectLives) {
    BoxRecorder box(MessageResult::No);
    TComServer server({StartMode::smStandalone, false}, nullptr);
    EXPECT_TRUE(server.CanClose());
    server.CountObject(true);
    server.CountObject(false);
    EXPECT_TRUE(server.CanClose());
    EXPECT_TRUE(box.boxes.empty());
}

TEST(ComServer, LiveObjectsAskTheUser) {
    for (MessageResult answer : {MessageResult::Yes, MessageResult::No}) {
        BoxRecorder box(answer);
        TComServer server({StartMode::smAutomation, false}, nullptr);
        server.CountObject(true);
        EXPECT_EQ(server.CanClose(), answer == MessageResult::Yes);
        ASSERT_EQ(box.boxes.size(), 1u);
        const auto& r = box.boxes[0];
        EXPECT_EQ(r.caption, "COM Server Warning");
        EXPECT_EQ(r.text, "There are still active COM objects in this application.  One or more "
                          "clients may have references to these objects, so manually closing "
                          "this application may cause those client application(s) to "
                          "fail.\r\n\r\nAre you sure you want to close this application?");
        EXPECT_EQ(r.buttons, MessageButtons::YesNo);
        EXPECT_EQ(r.defaultResult, MessageResult::No);
        EXPECT_EQ(r.icon, MessageIcon::Warning);
        EXPECT_EQ(server.ObjectCount(), 1); // the answer changes nothing
    }
}

// --- bus registration files -----------------------------------------------------------------

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/vesmera-reg-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::filesystem::path path;
};

TEST(BusRegistration, ServiceFilesStartTheExecutableForClients) {
    const auto files = RegistrationFiles("/opt/vesmera/vesmera");
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].relativePath, "dbus-1/services/Vesmera.Data.service");
    EXPECT_EQ(files[0].content,
              "[D-BUS Service]\nName=Vesmera.Data\nExec=/opt/vesmera/vesmera /AUTOMATION\n");
    EXPECT_EQ(files[1].relativePath, "dbus-1/services/Vesmera.ScAuto.service");
    EXPECT_EQ(files[1].content,
              "[D-BUS Service]\nName=Vesmera.ScAuto\nExec=/opt/vesmera/vesmera /AUTOMATION\n");
    EXPECT_EQ(files[2].relativePath, "dbus-1/interfaces/Vesmera.IData.xml");
    EXPECT_EQ(files[3].relativePath, "dbus-1/interfaces/Vesmera.IScAuto.xml");
    EXPECT_NE(files[3].content.find("<method name=\"SetSignal\">"), std::string::npos);
}

TEST(BusRegistration, PathsTheBusWouldSplitAreQuoted) {
    EXPECT_EQ(ServiceExecLine("/opt/My Scale/vesmera"), "\"/opt/My Scale/vesmera\" /AUTOMATION");
    EXPECT_EQ(ServiceExecLine("/opt/a\"b $c/v"), "\"/opt/a\\\"b \\$c/v\" /AUTOMATION");
    EXPECT_EQ(ServiceExecLine("/opt/plain/v"), "/opt/plain/v /AUTOMATION");
}

TEST(BusRegistration, DataDirFromTheEnvironment) {
    const auto env = [](std::map<std::string, std::string> values) -> EnvironmentLookup {
        return [values](const char* name) -> std::optional<std::string> {
            const auto it = values.find(name);
            if (it == values.end())
                return std::nullopt;
            return it->second;
        };
    };
    EXPECT_EQ(RegistrationDataDir(RegistryScope::PerUser, env({{"XDG_DATA_HOME", "/x"}})), "/x");
    EXPECT_EQ(RegistrationDataDir(RegistryScope::PerUser, env({{"HOME", "/home/u"}})),
              "/home/u/.local/share");
    EXPECT_EQ(
        RegistrationDataDir(RegistryScope::PerUser, env({{"XDG_DATA_HOME", ""}, {"HOME", "/h"}})),
        "/h/.local/share");
    EXPECT_EQ(RegistrationDataDir(RegistryScope::Machine, env({{"XDG_DATA_DIRS", "/a:/b"}})), "/a");
    EXPECT_EQ(RegistrationDataDir(RegistryScope::Machine, env({{"XDG_DATA_DIRS", ":/b"}})), "/b");
    EXPECT_EQ(RegistrationDataDir(RegistryScope::Machine, env({})), "/usr/local/share");
    EXPECT_EQ(RegistrationDataDir(RegistryScope::Machine, env({{"XDG_DATA_DIRS", ""}})),
              "/usr/local/share");
}

struct HookRun {
    StartupResult result;
    std::vector<std::string> failures;
};

HookRun RunHook(const std::vector<std::string>& args, const std::filesystem::path& dataHome) {
    HookRun run;
    const RegistrationTarget target{
        "/opt/vesmera/vesmera", [dataHome](const char* name) -> std::optional<std::string> {
            if (std::string(name) == "XDG_DATA_HOME" || std::string(name) == "XDG_DATA_DIRS")
                return dataHome.string();
            return std::nullopt;
        }};
    run.result = RunStartupHook(
        args, target, [&](const std::string& message) { run.failures.push_back(message); });
    return run;
}

TEST(StartupHook, RegisterAndUnregisterTwice) {
    TempDir home;
    for (const char* reg : {"/REGSERVERPERUSER", "/regserver"}) {
        const HookRun reg1 = RunHook({reg}, home.path);
        ASSERT_EQ(reg1.result.exitCode, 0) << reg;
        EXPECT_TRUE(reg1.failures.empty());
        EXPECT_EQ(ReadFile(home.path / "dbus-1/services/Vesmera.Data.service"),
                  "[D-BUS Service]\nName=Vesmera.Data\nExec=/opt/vesmera/vesmera /AUTOMATION\n");
        EXPECT_TRUE(std::filesystem::exists(home.path / "dbus-1/services/Vesmera.ScAuto.service"));
        EXPECT_TRUE(std::filesystem::exists(home.path / "dbus-1/interfaces/Vesmera.IData.xml"));
        EXPECT_TRUE(std::filesystem::exists(home.path / "dbus-1/interfaces/Vesmera.IScAuto.xml"));
        // Registering again replaces, no temporary files are left behind.
        EXPECT_EQ(RunHook({reg}, home.path).result.exitCode, 0);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.path / "dbus-1/services"),
                                std::filesystem::directory_iterator()),
                  2);
        for (int i = 0; i < 2; ++i) {
            const HookRun unreg =
                RunHook({reg[1] == 'R' ? "/UNREGSERVERPERUSER" : "-unregserver"}, home.path);
            EXPECT_EQ(unreg.result.exitCode, 0);
            EXPECT_TRUE(unreg.failures.empty());
        }
        EXPECT_FALSE(std::filesystem::exists(home.path / "dbus-1/services/Vesmera.Data.service"));
        EXPECT_FALSE(std::filesystem::exists(home.path / "dbus-1/interfaces/Vesmera.IScAuto.xml"));
    }
}

TEST(StartupHook, UnwritableDataDirEndsWithCodeOne) {
    TempDir home;
    const auto blocker = home.path / "file";
    std::ofstream(blocker) << "not a directory";
    const HookRun run = RunHook({"/RegServerPerUser"}, blocker);
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_EQ(run.failures, std::vector<std::string>{"Error creating system registry entry"});
}

TEST(StartupHook, OtherStartsGoOnWithoutWriting) {
    TempDir home;
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"/AUTOMATION", "/REGSERVER"}, {}, {"REGSERVER"}}) {
        const HookRun run = RunHook(args, home.path);
        EXPECT_FALSE(run.result.exitCode.has_value());
    }
    EXPECT_FALSE(std::filesystem::exists(home.path / "dbus-1"));
    EXPECT_EQ(RunHook({"/Automation"}, home.path).result.switches.mode, StartMode::smAutomation);
}

} // namespace
} // namespace vesmera
