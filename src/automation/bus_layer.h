#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <vector>

#include "automation/automation_context.h"
#include "automation/bus_interface.h"
#include "automation/com_server.h"
#include "automation/type_library.h"
#include "common/live_reading.h"

class QDBusServiceWatcher;

namespace vesmera {

inline constexpr const char* kObjectRoot = "/Vesmera";

// The class objects and objects of the automation server on one bus connection: every path
// below /Vesmera is answered here, checked against the interface tables and dispatched to
// TData and TScAuto. Objects and server locks are counted in the TComServer and belong to the
// connection that made them: no other connection may call, release or unlock them, and a
// client that leaves the bus leaves nothing behind.
class AutomationBusLayer : public QDBusVirtualObject {
    Q_OBJECT
public:
    AutomationBusLayer(TComServer& server, QDBusConnection connection);
    ~AutomationBusLayer() override;

    // The program's parts that the objects read and run. Until they are given, calls wait
    // (the names may be offered before the program's windows exist); then the message loop
    // answers them in their order of arrival. The context must outlive the layer.
    void Serve(const AutomationContext& context);

    // Registers the object tree, then owns both bus names (one of them alone would be a
    // server half found). Returns false, with nothing left registered, when the names are
    // owned by another connection.
    bool Offer();
    void Revoke();

    std::size_t LiveObjects() const { return objects_.size(); }
    std::size_t HeldLocks() const;
    std::size_t WaitingCalls() const { return waiting_.size(); }
    // The live reading served at /Vesmera/Reading, its changes sent as signals; none by
    // default. It must outlive the layer or be taken back with nullptr.
    void SetReading(LiveReading* reading);

    // A guard against a client that creates without end; creation beyond it fails.
    void SetObjectLimit(std::size_t limit) { objectLimit_ = limit; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

private:
    struct LiveObject {
        const ClassInfo* cls;
        QString owner;
    };
    struct ClassEntry {
        const ClassInfo* cls;
        QString factoryPath;
        BusInterface iface;
        std::uint64_t nextNumber = 1;
    };

    void Dispatch(const QDBusMessage& message);
    // The member a call names in the first of the interfaces that has it, its arguments
    // checked; none after an error reply was sent.
    const BusMethod* Checked(std::initializer_list<const BusInterface*> ifaces,
                             const QDBusMessage& message);
    void CallReading(const QDBusMessage& message);
    void CallFactory(ClassEntry& entry, const QDBusMessage& message);
    void CallObject(const QString& path, const LiveObject& object, const QDBusMessage& message);
    void CallMember(const LiveObject& object, const BusMethod& method, const QDBusMessage& message);
    QDBusMessage CreateObject(ClassEntry& entry, const QDBusMessage& message);
    void ReleaseObject(const QString& path);
    void Reference(const QString& owner);
    void Unreference(const QString& owner);
    void ClientLeft(const QString& owner);
    void Reply(const QDBusMessage& reply);
    ClassEntry* FactoryAt(const QString& path);

    TComServer& server_;
    const AutomationContext* context_ = nullptr;
    std::vector<QDBusMessage> waiting_; // calls that came before Serve
    QDBusConnection connection_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::map<QString, ClassEntry> classes_;     // by factory path
    std::map<QString, LiveObject> objects_;     // by object path
    std::map<QString, std::int32_t> locks_;     // by owner
    std::map<QString, std::size_t> references_; // objects and locks by owner
    LiveReading* reading_ = nullptr;
    std::size_t objectLimit_ = 100000;
    bool failureBoxOpen_ = false;
    bool offered_ = false;
    bool namesOwned_ = false;
};

} // namespace vesmera
