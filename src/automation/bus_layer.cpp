#include "automation/bus_layer.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <utility>

#include "automation/bus_members.h"
#include "automation/reading_bus.h"
#include "common/exception.h"
#include "common/message_box.h"

namespace vesmera {

namespace {

constexpr const char* kUnknownMethod = "org.freedesktop.DBus.Error.UnknownMethod";
constexpr const char* kUnknownObject = "org.freedesktop.DBus.Error.UnknownObject";
constexpr const char* kInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr const char* kAccessDenied = "org.freedesktop.DBus.Error.AccessDenied";
constexpr const char* kUnknownProperty = "org.freedesktop.DBus.Error.UnknownProperty";
constexpr const char* kRuzErrorCaption = "RUZ Error";
const QString kBusDaemonService = QStringLiteral("org.freedesktop.DBus");
const QString kBusDaemonPath = QStringLiteral("/org/freedesktop/DBus");

// Introspection and the peer interface are answered by the bus library from introspect();
// properties here, since the library would deny the interface it advertises.
bool AnsweredByLibrary(const QString& iface) {
    return iface.startsWith(QLatin1String("org.freedesktop.DBus.")) &&
           iface != QLatin1String(kPropertiesInterface);
}

// A member is found by its interface when the caller names one, by its name alone otherwise.
const BusMethod* FindMethod(const BusInterface& iface, const QDBusMessage& message) {
    if (!message.interface().isEmpty() && message.interface().toStdString() != iface.name)
        return nullptr;
    return iface.Find(message.member().toStdString());
}

QDBusMessage ArgumentError(const QDBusMessage& message, const BusMethod& method) {
    return message.createErrorReply(
        kInvalidArgs, QStringLiteral("Arguments of %1 must be (%2), not (%3)")
                          .arg(message.member(), QString::fromStdString(method.InSignature()),
                               message.signature()));
}

QDBusMessage AccessError(const QDBusMessage& message) {
    return message.createErrorReply(
        kAccessDenied, QStringLiteral("%1 belongs to the connection that created it; no other "
                                      "connection may call or release it")
                           .arg(message.path()));
}

QDBusMessage MethodError(const QDBusMessage& message) {
    return message.createErrorReply(
        kUnknownMethod, QStringLiteral("No method %1 of interface \"%2\" at %3")
                            .arg(message.member(), message.interface(), message.path()));
}

QDBusMessage AnswerProperties(const BusMethod& method, const QDBusMessage& message) {
    if (method.name == "GetAll")
        return message.createReply(QVariant::fromValue(QVariantMap()));
    return message.createErrorReply(
        kUnknownProperty,
        QStringLiteral("No property %1 in interface %2")
            .arg(message.arguments().value(1).toString(), message.arguments().value(0).toString()));
}

QString NodeXml(const QString& name) {
    return QStringLiteral("  <node name=\"%1\"/>\n").arg(name);
}

} // namespace

AutomationBusLayer::AutomationBusLayer(TComServer& server, QDBusConnection connection)
    : connection_(std::move(connection)),
      watcher_(std::make_unique<QDBusServiceWatcher>()),
      table_(server,
             {[this](const std::string& client) { WatchClient(QString::fromStdString(client)); },
              [this](const std::string& client) {
                  watcher_->removeWatchedService(QString::fromStdString(client));
              }}) {
    watcher_->setConnection(connection_);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    for (const ClassInfo* cls : FactoryList())
        classes_.emplace(QString::fromStdString(FactoryPathOf(*cls)),
                         ClassEntry{cls, BusInterfaceOf(*cls->defaultInterface)});
    connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString& client) { table_.ClientLeft(client.toStdString()); });
}

AutomationBusLayer::~AutomationBusLayer() {
    SetReading(nullptr);
    Revoke();
}

void AutomationBusLayer::Serve(const AutomationContext& context) {
    context_ = &context;
    // Calls are answered from the message loop only, never from inside the entry's own steps.
    QMetaObject::invokeMethod(
        this,
        [this] {
            for (const QDBusMessage& message : std::exchange(waiting_, {}))
                Dispatch(message);
        },
        Qt::QueuedConnection);
}

void AutomationBusLayer::SetReading(LiveReading* reading) {
    if (reading_)
        reading_->SetListener(nullptr);
    reading_ = reading;
    if (reading_)
        reading_->SetListener([this](const ReadingChange& change) {
            // Only a layer that serves its names speaks for the program.
            if (namesOwned_)
                connection_.send(ChangedSignal(change));
        });
}

bool AutomationBusLayer::Offer() {
    if (!connection_.isConnected())
        return false;
    offered_ = connection_.registerVirtualObject(QString::fromLatin1(kObjectRoot), this,
                                                 QDBusConnection::SubPath);
    if (!offered_)
        return false;
    std::vector<QString> owned;
    for (const ClassInfo* cls : FactoryList()) {
        const QString name = QString::fromStdString(cls->ProgId());
        if (!connection_.registerService(name))
            break;
        owned.push_back(name);
    }
    if (owned.size() != FactoryList().size()) {
        for (const QString& name : owned)
            connection_.unregisterService(name);
        connection_.unregisterObject(QString::fromLatin1(kObjectRoot),
                                     QDBusConnection::UnregisterTree);
        offered_ = false;
        return false;
    }
    namesOwned_ = true;
    return true;
}

void AutomationBusLayer::Revoke() {
    if (namesOwned_)
        for (const ClassInfo* cls : FactoryList())
            connection_.unregisterService(QString::fromStdString(cls->ProgId()));
    namesOwned_ = false;
    if (offered_)
        connection_.unregisterObject(QString::fromLatin1(kObjectRoot),
                                     QDBusConnection::UnregisterTree);
    offered_ = false;
}

bool AutomationBusLayer::handleMessage(const QDBusMessage& message, const QDBusConnection&) {
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    if (AnsweredByLibrary(message.interface()))
        return false;
    // Behind calls that still wait, a call waits too, so that all are answered in order.
    if (context_ && waiting_.empty())
        Dispatch(message);
    else
        waiting_.push_back(message);
    return true;
}

void AutomationBusLayer::Dispatch(const QDBusMessage& message) {
    const QString path = message.path();
    const bool reading = reading_ && path == QLatin1String(kReadingPath);
    const ClassEntry* entry = reading ? nullptr : FactoryAt(path);
    const std::string objectPath = path.toStdString();
    const ObjectTable::Object* object = table_.Find(objectPath);
    if (!reading && !entry && !object) {
        Reply(
            message.createErrorReply(kUnknownObject, QStringLiteral("No object at %1").arg(path)));
        return;
    }
    // Every call on an object passes here, answered at once or later.
    if (object &&
        table_.Use(objectPath, message.service().toStdString()) != ObjectTable::Access::Granted) {
        Reply(AccessError(message));
        return;
    }
    if (message.interface() == QLatin1String(kPropertiesInterface)) {
        if (const BusMethod* method = Checked({&PropertiesBusInterface()}, message))
            Reply(AnswerProperties(*method, message));
        return;
    }
    if (reading)
        CallReading(message);
    else if (entry)
        CallFactory(*entry, message);
    else
        CallObject(*object, message);
}

const BusMethod* AutomationBusLayer::Checked(std::initializer_list<const BusInterface*> ifaces,
                                             const QDBusMessage& message) {
    for (const BusInterface* iface : ifaces) {
        const BusMethod* method = FindMethod(*iface, message);
        if (!method)
            continue;
        if (message.signature().toStdString() == method->InSignature())
            return method;
        Reply(ArgumentError(message, *method));
        return nullptr;
    }
    Reply(MethodError(message));
    return nullptr;
}

void AutomationBusLayer::CallReading(const QDBusMessage& message) {
    if (const BusMethod* method = Checked({&ReadingBusInterface()}, message))
        Reply(AnswerReadingCall(*reading_, *method, message));
}

const AutomationBusLayer::ClassEntry* AutomationBusLayer::FactoryAt(const QString& path) const {
    const auto it = classes_.find(path);
    return it == classes_.end() ? nullptr : &it->second;
}

void AutomationBusLayer::CallFactory(const ClassEntry& entry, const QDBusMessage& message) {
    const BusMethod* method = Checked({&ClassFactoryBusInterface()}, message);
    if (!method)
        return;
    if (method->name == "CreateInstance") {
        Reply(CreateObject(entry, message));
        return;
    }
    const std::string owner = message.service().toStdString();
    if (message.arguments().at(0).toBool()) {
        table_.Lock(owner);
        Reply(message.createReply());
        return;
    }
    if (!table_.HoldsLock(owner)) {
        Reply(message.createErrorReply(
            kAccessDenied, QStringLiteral("This connection holds no lock on the server; only "
                                          "the connection that locked it may unlock it")));
        return;
    }
    // Answered before the count goes down: the last release may end the program.
    Reply(message.createReply());
    table_.Unlock(owner);
}

QDBusMessage AutomationBusLayer::CreateObject(const ClassEntry& entry,
                                              const QDBusMessage& message) {
    try {
        const std::string path = table_.Create(*entry.cls, message.service().toStdString());
        return message.createReply(
            QVariant::fromValue(QDBusObjectPath(QString::fromStdString(path))));
    } catch (const Exception& error) {
        // A box waits for its answer in a loop that serves further calls: a client that goes
        // on creating meanwhile gets its failures at once, not a pile of boxes.
        if (!failureBoxOpen_) {
            failureBoxOpen_ = true;
            ShowErrorBox(kRuzErrorCaption, error.Message());
            failureBoxOpen_ = false;
        }
        return message.createErrorReply(kUnexpectedError, QString::fromStdString(error.Message()));
    }
}

void AutomationBusLayer::CallObject(const ObjectTable::Object& object,
                                    const QDBusMessage& message) {
    const BusInterface& iface =
        FactoryAt(QString::fromStdString(FactoryPathOf(*object.cls)))->iface;
    const BusMethod* method = Checked({&ObjectBusInterface(), &iface}, message);
    if (!method)
        return;
    if (ObjectBusInterface().Find(method->name) == method) {
        // Answered before the count goes down: the last release may end the program.
        Reply(message.createReply());
        table_.Release(message.path().toStdString(), message.service().toStdString());
        return;
    }
    CallMember(object, *method, message);
}

void AutomationBusLayer::CallMember(const ObjectTable::Object& object, const BusMethod& method,
                                    const QDBusMessage& message) {
    try {
        // The answer may come after this returns (a zero command waits for the serial
        // exchange in flight). It holds its own copies of the call and the connection, so it
        // stays good whatever becomes of the object or this layer meanwhile.
        InvokeMember(*object.cls, method.name, *context_, message.arguments(),
                     [connection = connection_, message](const QVariantList& out) mutable {
                         connection.send(message.createReply(out));
                     });
    } catch (const std::exception& error) {
        // An unexpected fault of a member reaches its client as the failing call it is.
        Reply(message.createErrorReply(kUnexpectedError, QString::fromUtf8(error.what())));
    }
}

void AutomationBusLayer::WatchClient(const QString& client) {
    watcher_->addWatchedService(client);
    // A client may have left between its call and now; the watch set up above catches every
    // later departure, this question the earlier one. Its answer is handled when it arrives,
    // so no handler waits on the bus daemon. A unique name is never given out again, so a
    // client found gone stays gone, however late the answer comes.
    const QDBusMessage hasOwner =
        QDBusMessage::createMethodCall(kBusDaemonService, kBusDaemonPath, kBusDaemonService,
                                       QStringLiteral("NameHasOwner"))
        << client;
    auto* answer = new QDBusPendingCallWatcher(connection_.asyncCall(hasOwner), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this,
            [this, client = client.toStdString()](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<bool> reply = *call;
                // No answer (bus gone) proves nothing; the watch stays in charge.
                if (reply.isValid() && !reply.value() && table_.Holds(client))
                    table_.ClientLeft(client);
            });
}

void AutomationBusLayer::Reply(const QDBusMessage& reply) {
    connection_.send(reply);
}

QString AutomationBusLayer::introspect(const QString& path) const {
    if (path == QLatin1String(kObjectRoot)) {
        QString xml;
        for (const auto& [factoryPath, entry] : classes_)
            xml += NodeXml(QString::fromStdString(entry.cls->name));
        if (reading_)
            xml += NodeXml(QString::fromLatin1(kReadingNode));
        return xml;
    }
    if (reading_ && path == QLatin1String(kReadingPath))
        return QString::fromStdString(IntrospectionXml(ReadingBusInterface()));
    if (const ClassEntry* entry = FactoryAt(path)) {
        QString xml = QString::fromStdString(IntrospectionXml(ClassFactoryBusInterface()));
        for (const std::string& objectPath : table_.ObjectsOf(*entry->cls))
            xml += NodeXml(QString::fromStdString(objectPath).mid(path.size() + 1));
        return xml;
    }
    if (const ObjectTable::Object* object = table_.Find(path.toStdString())) {
        const ClassEntry* entry = FactoryAt(QString::fromStdString(FactoryPathOf(*object->cls)));
        return QString::fromStdString(IntrospectionXml(entry->iface) +
                                      IntrospectionXml(ObjectBusInterface()));
    }
    return QString();
}

} // namespace vesmera
