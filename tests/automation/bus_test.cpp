#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QXmlStreamReader>

#include "automation/bus_layer.h"
#include "automation/startup.h"
#include "common/message_box.h"
#include "event/qt_scheduler.h"
#include "expected_members.h"
#include "fake_channels.h"
#include "private_bus.h"
#include "support/fake_scheduler.h"

namespace vesmera {
namespace {

using test::ExpectedMember;

constexpr int kCallTimeoutMs = 10000;

struct FakeProgram {
    HeldSettings settings;
    SharedWeightState weight;
    test::MainChannelStub main;
    QtScheduler scheduler;
    test::ScriptedChannelFactory channels{scheduler};
    ServerCallPool calls{channels};
    int zeroClicks = 0;
    // When set, the zero command's end is held here instead of following at once.
    std::function<void()>* heldZeroEnd = nullptr;
    AutomationContext Context() {
        return {settings, weight, main, calls, [this](std::function<void()> done) {
                    ++zeroClicks;
                    if (heldZeroEnd)
                        *heldZeroEnd = std::move(done);
                    else
                        done();
                }};
    }
};

class AutomationBus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.Running());
        serverConnection = bus.Connect("server");
        client = bus.Connect("client");
        ASSERT_TRUE(serverConnection.isConnected());
        ASSERT_TRUE(client.isConnected());
        program.weight.weight = 12.5L;
        program.weight.status = kStatusStable;
    }

    void StartServer(StartMode mode = StartMode::smStandalone) {
        server = std::make_unique<AutomationServer>(StartSwitches{mode, false}, program.Context(),
                                                    [this] { ++quits; });
        server->SetScheduler(clock);
        ASSERT_EQ(server->Start(serverConnection), BusStart::Serving);
    }

    QDBusMessage Call(const QDBusConnection& from, const QString& path, const QString& iface,
                      const QString& method, const QVariantList& args = {},
                      const QString& service = "Vesmera.ScAuto") {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, iface, method);
        message.setArguments(args);
        // The server answers on this thread's event loop, so the wait must keep it running.
        return from.call(message, QDBus::BlockWithGui, kCallTimeoutMs);
    }

    QString Create(const QDBusConnection& from, const QString& cls = "ScAuto") {
        const QDBusMessage reply = Call(from, "/Vesmera/" + cls, "Vesmera.ClassFactory",
                                        "CreateInstance", {}, "Vesmera." + cls);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        EXPECT_EQ(reply.signature(), "o");
        return reply.arguments().value(0).value<QDBusObjectPath>().path();
    }

    QDBusMessage ScAuto(const QString& path, const QString& method, const QVariantList& args = {}) {
        return Call(client, path, "Vesmera.IScAuto", method, args);
    }

    AutomationBusLayer& Layer() { return *server->BusLayer(); }
    std::int32_t Count() { return server->ComServer().ObjectCount(); }

    testing::FakeScheduler clock;
    test::PrivateBus bus;
    QDBusConnection serverConnection{QString()};
    QDBusConnection client{QString()};
    FakeProgram program;
    int quits = 0;
    std::unique_ptr<AutomationServer> server;
};

QVariant Inner(const QDBusMessage& reply, int index = 0) {
    return reply.arguments().value(index).value<QDBusVariant>().variant();
}

bool IsEmptyVariant(const QDBusMessage& reply, int index = 0) {
    const QVariant inner = Inner(reply, index);
    if (inner.userType() != qMetaTypeId<QDBusArgument>())
        return false;
    const QDBusArgument arg = inner.value<QDBusArgument>();
    if (arg.currentSignature() != "av")
        return false;
    QVariantList items;
    arg >> items;
    return items.isEmpty();
}

// Arguments of the right types for an in-signature.
QVariantList ArgumentsFor(const std::string& signature) {
    QVariantList args;
    for (char c : signature) {
        switch (c) {
        case 'y':
            args << QVariant::fromValue(uchar(1));
            break;
        case 'n':
            args << QVariant::fromValue(short(1));
            break;
        case 'i':
            args << QVariant::fromValue(int(7));
            break;
        case 'x':
            args << QVariant::fromValue(qlonglong(10000));
            break;
        case 's':
            args << QVariant(QString("T1"));
            break;
        default:
            ADD_FAILURE() << "type " << c;
        }
    }
    return args;
}

TEST_F(AutomationBus, BothNamesAreOwned) {
    StartServer();
    for (const char* name : {"Vesmera.Data", "Vesmera.ScAuto"})
        EXPECT_EQ(client.interface()->serviceOwner(name).value(), serverConnection.baseService())
            << name;
}

TEST_F(AutomationBus, EveryMemberAnswersWithItsDeclaredTypes) {
    StartServer();
    const QString sc = Create(client);
    EXPECT_EQ(sc, "/Vesmera/ScAuto/1");
    for (const ExpectedMember& m : test::kExpectedIScAuto) {
        const QDBusMessage reply = ScAuto(sc, m.name, ArgumentsFor(m.in));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << m.name << ": " << reply.errorMessage().toStdString();
        EXPECT_EQ(reply.signature().toStdString(), m.out) << m.name;
    }
    const QString data = Create(client, "Data");
    EXPECT_EQ(data, "/Vesmera/Data/1");
    for (const ExpectedMember& m : test::kExpectedIData) {
        const QDBusMessage reply =
            Call(client, data, "Vesmera.IData", m.name, ArgumentsFor(m.in), "Vesmera.Data");
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << m.name;
        EXPECT_EQ(reply.signature().toStdString(), m.out) << m.name;
    }
    EXPECT_EQ(Count(), 2);
}

TEST_F(AutomationBus, ScAutoValuesOverTheBus) {
    StartServer();
    const QString sc = Create(client);
    const QVariant weight = Inner(ScAuto(sc, "GetWeight", ArgumentsFor("nn")));
    EXPECT_EQ(weight.userType(), QMetaType::Double);
    EXPECT_EQ(weight.toDouble(), 12.5);
    const QVariant status = Inner(ScAuto(sc, "GetStatus", ArgumentsFor("nn")));
    EXPECT_EQ(status.userType(), QMetaType::Int);
    EXPECT_EQ(status.toInt(), -5002);
    EXPECT_EQ(Inner(ScAuto(sc, "SetSignal", ArgumentsFor("i"))).toInt(), -5004);
    EXPECT_TRUE(IsEmptyVariant(ScAuto(sc, "GetOsCount", ArgumentsFor("yy"))));
    const QDBusMessage channels = ScAuto(sc, "GetChannels");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(IsEmptyVariant(channels, i)) << i;
    EXPECT_EQ(ScAuto(sc, "ChannelsCount").arguments().value(0).value<uchar>(), 1);
    EXPECT_EQ(ScAuto(sc, "DevicesOnSecondChannel").arguments().value(0).value<uchar>(), 0);
    EXPECT_EQ(ScAuto(sc, "DynamicStatus").arguments().value(0).value<uchar>(), 0);
    const QVariant net = Inner(ScAuto(sc, "GetWeightNet", {QString("T1")}));
    EXPECT_EQ(net.userType(), QMetaType::QString);
    EXPECT_EQ(net.toString(), "-5008"); // network mode is off
    program.zeroClicks = 0;
    EXPECT_TRUE(IsEmptyVariant(ScAuto(sc, "SetNull", ArgumentsFor("nn"))));
    EXPECT_EQ(program.zeroClicks, 1);
}

// SetNull answers when its zero command has run, and other calls are served meanwhile.
TEST_F(AutomationBus, SetNullAnswersWhenItsZeroCommandEnds) {
    StartServer();
    std::function<void()> zeroEnd;
    program.heldZeroEnd = &zeroEnd;
    const QString sc = Create(client);
    QDBusMessage zero =
        QDBusMessage::createMethodCall("Vesmera.ScAuto", sc, "Vesmera.IScAuto", "SetNull");
    zero.setArguments(ArgumentsFor("nn"));
    QDBusPendingCall pending = client.asyncCall(zero, kCallTimeoutMs);
    // A call made after it is answered while the zero command is still running.
    EXPECT_EQ(Inner(ScAuto(sc, "GetWeight", ArgumentsFor("nn"))).toDouble(), 12.5);
    ASSERT_TRUE(zeroEnd);
    EXPECT_FALSE(pending.isFinished());
    zeroEnd();
    pending.waitForFinished();
    ASSERT_FALSE(pending.isError()) << pending.error().message().toStdString();
    EXPECT_TRUE(IsEmptyVariant(pending.reply()));
}

TEST_F(AutomationBus, DataNamesAnyTerminalWithLongNames) {
    StartServer();
    program.settings.networkMode = true;
    program.channels.peer.replies = {{0, "-5000"}, {0, "-5003"}};
    const QString data = Create(client, "Data");
    const QString name(100 * 1024, QChar(0x0412)); // Cyrillic, 200 KB of UTF-8
    const QDBusMessage reply =
        Call(client, data, "Vesmera.IData", "GetWeight", {name}, "Vesmera.Data");
    EXPECT_EQ(reply.arguments().value(0).toString(), "-5000");
    ASSERT_EQ(program.channels.logs.size(), 1u);
    EXPECT_EQ(program.channels.logs[0]->written.at(0), name.toStdString());
}

TEST_F(AutomationBus, FailingConnectedTestIsTheUnexpectedError) {
    StartServer();
    program.settings.networkMode = true;
    program.main.state = test::MainChannelStub::State::Reset;
    const QString sc = Create(client);
    const QDBusMessage reply = ScAuto(sc, "GetStatusNet", {QString("T1")});
    EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(reply.errorName(), "Vesmera.Error.Unexpected");
    EXPECT_EQ(reply.errorMessage(), "Socket Error # 104\r\nConnection reset by peer");
}

TEST_F(AutomationBus, WrongCallsAreAnsweredWithErrors) {
    StartServer();
    const QString sc = Create(client);
    const auto errorOf = [](const QDBusMessage& m) { return m.errorName().toStdString(); };
    EXPECT_EQ(errorOf(ScAuto(sc, "GetWeight", {1, 2})), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(errorOf(ScAuto(sc, "GetWeight")), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(errorOf(ScAuto(sc, "GetOsCount", ArgumentsFor("nn"))),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(errorOf(ScAuto(sc, "NoSuchMember")), "org.freedesktop.DBus.Error.UnknownMethod");
    EXPECT_EQ(errorOf(Call(client, sc, "Vesmera.IData", "GetWeight", {QString("x")})),
              "org.freedesktop.DBus.Error.UnknownMethod");
    EXPECT_EQ(errorOf(ScAuto("/Vesmera/ScAuto/99", "GetSensors")),
              "org.freedesktop.DBus.Error.UnknownObject");
    EXPECT_EQ(errorOf(Call(client, "/Vesmera/ScAuto", "Vesmera.ClassFactory", "LockServer", {1})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    // Without an interface name a member is found by its name.
    const QDBusMessage plain = Call(client, sc, QString(), "GetSensors");
    EXPECT_EQ(Inner(plain).toInt(), -5004);
    EXPECT_EQ(Count(), 1);
}

TEST_F(AutomationBus, ReleasedObjectIsGone) {
    StartServer();
    const QString sc = Create(client);
    EXPECT_EQ(Call(client, sc, "Vesmera.Object", "Release").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(ScAuto(sc, "GetSensors").errorName(), "org.freedesktop.DBus.Error.UnknownObject");
    EXPECT_EQ(Call(client, sc, "Vesmera.Object", "Release").errorName(),
              "org.freedesktop.DBus.Error.UnknownObject");
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Create(client), "/Vesmera/ScAuto/2"); // numbers are never reused
}

TEST_F(AutomationBus, ThousandObjectsComeAndGo) {
    StartServer();
    for (int i = 0; i < 1000; ++i) {
        const QString path = Create(client, i % 2 ? "Data" : "ScAuto");
        ASSERT_EQ(Call(client, path, "Vesmera.Object", "Release", {}, "Vesmera.Data").type(),
                  QDBusMessage::ReplyMessage);
    }
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(Layer().LiveObjects(), 0u);
    EXPECT_EQ(quits, 0); // started by the user
}

TEST_F(AutomationBus, DepartedClientLeavesNothingBehind) {
    StartServer(StartMode::smAutomation);
    QString otherName;
    {
        QDBusConnection other = bus.Connect("leaving");
        otherName = other.name();
        Create(other);
        Create(other, "Data");
        Call(other, "/Vesmera/ScAuto", "Vesmera.ClassFactory", "LockServer", {true});
    }
    const QString mine = Create(client);
    EXPECT_EQ(Count(), 4);
    // The connection closes once no handle to it is left.
    QDBusConnection::disconnectFromBus(otherName);
    ASSERT_TRUE(test::WaitUntil([&] { return Count() == 1; }));
    EXPECT_EQ(Layer().LiveObjects(), 1u);
    EXPECT_EQ(Layer().HeldLocks(), 0u);
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(Inner(ScAuto(mine, "GetSensors")).toInt(), -5004);
}

TEST_F(AutomationBus, ClientVanishingMidCallKeepsNoObject) {
    StartServer();
    QString otherName;
    {
        QDBusConnection other = bus.Connect("vanishing");
        otherName = other.name();
        other.asyncCall(QDBusMessage::createMethodCall("Vesmera.ScAuto", "/Vesmera/ScAuto",
                                                       "Vesmera.ClassFactory", "CreateInstance"));
    }
    QDBusConnection::disconnectFromBus(otherName);
    // This creation is answered after the departed client's one.
    EXPECT_EQ(Create(client), "/Vesmera/ScAuto/2");
    ASSERT_TRUE(test::WaitUntil([&] { return Count() == 1; }));
    EXPECT_EQ(Layer().LiveObjects(), 1u);
}

TEST_F(AutomationBus, LastReleaseEndsAProgramStartedForClients) {
    StartServer(StartMode::smAutomation);
    const QString a = Create(client);
    const QString b = Create(client, "Data");
    Call(client, a, "Vesmera.Object", "Release");
    EXPECT_EQ(quits, 0);
    Call(client, b, "Vesmera.Object", "Release", {}, "Vesmera.Data");
    EXPECT_EQ(quits, 1);

    // A lock keeps it alive without an object.
    Call(client, "/Vesmera/Data", "Vesmera.ClassFactory", "LockServer", {true}, "Vesmera.Data");
    const QString c = Create(client);
    Call(client, c, "Vesmera.Object", "Release");
    EXPECT_EQ(quits, 1);
    Call(client, "/Vesmera/Data", "Vesmera.ClassFactory", "LockServer", {false}, "Vesmera.Data");
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(quits, 2);
}

// --- a client's objects and locks are its own ---------------------------------------------

struct StrangerCall {
    const char* what;
    bool onObject; // on the owner's object, else on the class object
    const char* iface;
    const char* method;
    QVariantList args;
};

class Ownership : public AutomationBus, public ::testing::WithParamInterface<StrangerCall> {};

TEST_P(Ownership, AnotherConnectionIsDeniedAndTheOwnerKeepsItsObject) {
    const StrangerCall& row = GetParam();
    StartServer(StartMode::smAutomation);
    const QString object = Create(client);
    Call(client, "/Vesmera/ScAuto", "Vesmera.ClassFactory", "LockServer", {true});
    QDBusConnection stranger = bus.Connect("stranger");
    const QDBusMessage denied = Call(stranger, row.onObject ? object : QString("/Vesmera/ScAuto"),
                                     row.iface, row.method, row.args);
    EXPECT_EQ(denied.errorName(), "org.freedesktop.DBus.Error.AccessDenied") << row.what;
    EXPECT_TRUE(denied.errorMessage().contains(row.onObject ? "connection that created it"
                                                            : "connection that locked it"))
        << denied.errorMessage().toStdString();
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(Inner(ScAuto(object, "GetSensors")).toInt(), -5004);
    EXPECT_EQ(Call(client, object, "Vesmera.Object", "Release").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(Call(client, "/Vesmera/ScAuto", "Vesmera.ClassFactory", "LockServer", {false}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(quits, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, Ownership,
    ::testing::Values(
        StrangerCall{"Release", true, "Vesmera.Object", "Release", {}},
        StrangerCall{"Release, no interface", true, "", "Release", {}},
        StrangerCall{"a member", true, "Vesmera.IScAuto", "SetNull", {short(0), short(0)}},
        StrangerCall{"a member, wrong arguments", true, "Vesmera.IScAuto", "GetWeight", {}},
        StrangerCall{"properties",
                     true,
                     "org.freedesktop.DBus.Properties",
                     "GetAll",
                     {QString("Vesmera.IScAuto")}},
        StrangerCall{"unlocking", false, "Vesmera.ClassFactory", "LockServer", {false}}),
    [](const auto& info) { return "Row" + std::to_string(info.index); });

// Nothing on the objects is a property; the interface the bus library advertises answers so.
TEST_F(AutomationBus, PropertiesAnswerThatThereAreNone) {
    StartServer();
    const QString object = Create(client);
    for (const QString& path : {object, QString("/Vesmera/ScAuto")}) {
        const QDBusMessage all = Call(client, path, "org.freedesktop.DBus.Properties", "GetAll",
                                      {QString("Vesmera.IScAuto")});
        ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage) << all.errorMessage().toStdString();
        EXPECT_EQ(all.signature(), "a{sv}");
        EXPECT_TRUE(qdbus_cast<QVariantMap>(all.arguments().value(0)).isEmpty());
        EXPECT_EQ(Call(client, path, "org.freedesktop.DBus.Properties", "Get",
                       {QString("Vesmera.IScAuto"), QString("ChannelsCount")})
                      .errorName(),
                  "org.freedesktop.DBus.Error.UnknownProperty");
        EXPECT_EQ(Call(client, path, "org.freedesktop.DBus.Properties", "GetAll", {1}).errorName(),
                  "org.freedesktop.DBus.Error.InvalidArgs");
    }
}

// --- the end of a copy the bus started for nothing -------------------------------------------

struct UnusedRow {
    const char* what;
    StartMode mode;
    int heldAtMs; // an object (or lock) from this moment on; -1 for none
    bool lock;
    int quitsAt10s;
};

class UnusedCopy : public AutomationBus, public ::testing::WithParamInterface<UnusedRow> {};

TEST_P(UnusedCopy, EndsTenSecondsAfterItsStartWhenNothingWasHeld) {
    const UnusedRow& row = GetParam();
    StartServer(row.mode);
    if (row.heldAtMs >= 0) {
        clock.Advance(row.heldAtMs);
        if (row.lock)
            Call(client, "/Vesmera/ScAuto", "Vesmera.ClassFactory", "LockServer", {true});
        else
            Create(client);
    }
    clock.Advance(9999 - std::max(row.heldAtMs, 0));
    EXPECT_EQ(quits, 0) << row.what;
    clock.Advance(1);
    EXPECT_EQ(quits, row.quitsAt10s) << row.what;
    clock.Advance(60000);
    EXPECT_EQ(quits, row.quitsAt10s) << row.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnusedCopy,
    ::testing::Values(UnusedRow{"started by the bus, nothing held", StartMode::smAutomation, -1,
                                false, 1},
                      UnusedRow{"an object at 9.999 s", StartMode::smAutomation, 9999, false, 0},
                      UnusedRow{"a lock at once", StartMode::smAutomation, 0, true, 0},
                      UnusedRow{"started by the user", StartMode::smStandalone, -1, false, 0}),
    [](const auto& info) { return "Row" + std::to_string(info.index); });

// The names are offered before the program's parts exist; calls that come meanwhile wait for
// them and are answered in their order.
TEST_F(AutomationBus, CallsBeforeTheProgramExistsWaitForIt) {
    server = std::make_unique<AutomationServer>(StartSwitches{StartMode::smAutomation, false},
                                                [this] { ++quits; });
    server->SetScheduler(clock);
    ASSERT_EQ(server->Start(serverConnection), BusStart::Serving);
    QDBusMessage weightCall = QDBusMessage::createMethodCall("Vesmera.ScAuto", "/Vesmera/ScAuto/1",
                                                             "Vesmera.IScAuto", "GetWeight");
    weightCall.setArguments(ArgumentsFor("nn"));
    QDBusPendingCall created = client.asyncCall(QDBusMessage::createMethodCall(
        "Vesmera.ScAuto", "/Vesmera/ScAuto", "Vesmera.ClassFactory", "CreateInstance"));
    QDBusPendingCall weight = client.asyncCall(weightCall);
    ASSERT_TRUE(test::WaitUntil([&] { return Layer().WaitingCalls() == 2; }));
    EXPECT_FALSE(created.isFinished());
    // However long the windows take, the waiting client is not left without a server.
    clock.Advance(60000);
    EXPECT_EQ(quits, 0);
    server->Serve(program.Context());
    EXPECT_EQ(Layer().WaitingCalls(), 2u); // answered from the message loop, not from Serve
    ASSERT_TRUE(test::WaitUntil([&] { return weight.isFinished(); }));
    EXPECT_EQ(created.reply().arguments().value(0).value<QDBusObjectPath>().path(),
              "/Vesmera/ScAuto/1");
    EXPECT_EQ(Inner(weight.reply()).toDouble(), 12.5);
}

TEST_F(AutomationBus, CreationFailureShowsTheBoxAndFails) {
    StartServer();
    Layer().SetObjectLimit(1);
    std::vector<MessageBoxRequest> boxes;
    QDBusConnection other = bus.Connect("other");
    QString failedWhileOpen;
    // The box's own loop serves calls, as a modal box does: another failure meanwhile is
    // answered without a second box.
    const auto previous = SetMessageBoxHandler([&](const MessageBoxRequest& r) {
        boxes.push_back(r);
        QDBusPendingCall again = other.asyncCall(QDBusMessage::createMethodCall(
            "Vesmera.ScAuto", "/Vesmera/ScAuto", "Vesmera.ClassFactory", "CreateInstance"));
        test::WaitUntil([&] { return again.isFinished(); });
        failedWhileOpen = again.reply().errorName();
        return MessageResult::Ok;
    });
    Create(client);
    const QDBusMessage reply =
        Call(client, "/Vesmera/ScAuto", "Vesmera.ClassFactory", "CreateInstance");
    SetMessageBoxHandler(previous);
    EXPECT_EQ(reply.errorName(), "Vesmera.Error.Unexpected");
    EXPECT_EQ(failedWhileOpen, "Vesmera.Error.Unexpected");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "RUZ Error");
    EXPECT_EQ(boxes[0].text, "Too many automation objects are alive.");
    EXPECT_EQ(boxes[0].icon, MessageIcon::Error);
    EXPECT_EQ(Count(), 1);
}

TEST_F(AutomationBus, SecondCopyCannotOwnTheNames) {
    StartServer();
    for (StartMode mode : {StartMode::smAutomation, StartMode::smStandalone}) {
        FakeProgram other;
        AutomationServer second({mode, false}, other.Context(), nullptr);
        EXPECT_EQ(second.Start(bus.Connect("second")),
                  mode == StartMode::smAutomation ? BusStart::ExitNow : BusStart::NamesTaken);
    }
    EXPECT_EQ(client.interface()->serviceOwner("Vesmera.Data").value(),
              serverConnection.baseService());
    EXPECT_EQ(Create(client), "/Vesmera/ScAuto/1");
}

TEST_F(AutomationBus, RevokeGivesUpNamesAndObjects) {
    StartServer();
    server->Revoke();
    EXPECT_FALSE(client.interface()->isServiceRegistered("Vesmera.ScAuto").value());
    EXPECT_FALSE(client.interface()->isServiceRegistered("Vesmera.Data").value());
}

TEST(AutomationNoBus, RunsOnSilently) {
    FakeProgram program;
    AutomationServer server({StartMode::smAutomation, false}, program.Context(), nullptr);
    // The test environment points the session bus at a dead address.
    EXPECT_EQ(server.Start(), BusStart::NoBus);
    EXPECT_TRUE(server.CanClose());
}

// --- introspection, checked against the hand-written table ----------------------------------

struct IntrospectedMethod {
    std::string name;
    int dispId = 0;
    std::string in, out;
};

std::map<std::string, std::vector<IntrospectedMethod>>
ParseIntrospection(const QString& xml, std::vector<std::string>* nodes) {
    std::map<std::string, std::vector<IntrospectedMethod>> interfaces;
    QXmlStreamReader reader(xml);
    std::vector<IntrospectedMethod>* current = nullptr;
    int depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++depth;
            const auto name = reader.name();
            const auto attr = [&](const char* a) {
                return reader.attributes().value(a).toString().toStdString();
            };
            if (name == QLatin1String("interface"))
                current = &interfaces[attr("name")];
            else if (name == QLatin1String("method") && current)
                current->push_back({attr("name"), 0, "", ""});
            else if (name == QLatin1String("arg") && current && !current->empty())
                (attr("direction") == "out" ? current->back().out : current->back().in) +=
                    attr("type");
            else if (name == QLatin1String("annotation") && current && !current->empty() &&
                     attr("name") == "Vesmera.DispId")
                current->back().dispId = reader.attributes().value("value").toInt();
            else if (name == QLatin1String("node") && depth == 2 && nodes)
                nodes->push_back(attr("name"));
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return interfaces;
}

TEST_F(AutomationBus, IntrospectionCarriesEveryMemberWithItsDispId) {
    StartServer();
    const QString sc = Create(client);
    const QString data = Create(client, "Data");
    const auto introspect = [&](const QString& path) {
        return Call(client, path, "org.freedesktop.DBus.Introspectable", "Introspect")
            .arguments()
            .value(0)
            .toString();
    };
    for (const auto& [path, iface, expected] :
         {std::make_tuple(sc, std::string("Vesmera.IScAuto"), &test::kExpectedIScAuto),
          std::make_tuple(data, std::string("Vesmera.IData"), &test::kExpectedIData)}) {
        const auto interfaces = ParseIntrospection(introspect(path), nullptr);
        ASSERT_TRUE(interfaces.count(iface)) << iface;
        const auto& methods = interfaces.at(iface);
        ASSERT_EQ(methods.size(), expected->size());
        for (const ExpectedMember& m : *expected) {
            const auto& got = methods.at(static_cast<std::size_t>(m.position - 1));
            EXPECT_EQ(got.name, m.name) << m.position;
            EXPECT_EQ(got.dispId, m.dispId) << m.name;
            EXPECT_EQ(got.in, m.in) << m.name;
            EXPECT_EQ(got.out, m.out) << m.name;
        }
        ASSERT_TRUE(interfaces.count("Vesmera.Object"));
        EXPECT_EQ(interfaces.at("Vesmera.Object").at(0).name, "Release");
    }
    const auto scMethods = ParseIntrospection(introspect(sc), nullptr).at("Vesmera.IScAuto");
    EXPECT_EQ(scMethods.at(18).name, "SetSignal");
    EXPECT_EQ(scMethods.at(18).dispId, 226);
    EXPECT_EQ(scMethods.at(23).name, "DynamicStatus");
    EXPECT_EQ(scMethods.at(23).dispId, 222);

    std::vector<std::string> children;
    const auto factory = ParseIntrospection(introspect("/Vesmera/ScAuto"), &children);
    ASSERT_TRUE(factory.count("Vesmera.ClassFactory"));
    const auto& f = factory.at("Vesmera.ClassFactory");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].name, "CreateInstance");
    EXPECT_EQ(f[0].out, "o");
    EXPECT_EQ(f[1].name, "LockServer");
    EXPECT_EQ(f[1].in, "b");
    EXPECT_EQ(children, std::vector<std::string>{"1"});
    children.clear();
    ParseIntrospection(introspect("/Vesmera"), &children);
    EXPECT_EQ(children, (std::vector<std::string>{"Data", "ScAuto"}));
}

} // namespace
} // namespace vesmera
