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
#include "automation/object_table.h"
#include "automation/type_library.h"
#include "common/live_reading.h"

class QDBusServiceWatcher;

namespace vesmera {

// The class objects and objects of the automation server on one bus connection: every path
// below /Vesmera is answered here, checked against the interface tables and dispatched to
// TData and TScAuto. Who holds what, and who may touch it, is the ObjectTable's; this layer
// turns its answers into bus replies and tells it when a client has left the bus.
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

    std::size_t LiveObjects() const { return table_.LiveObjects(); }
    std::size_t HeldLocks() const { return table_.HeldLocks(); }
    std::size_t WaitingCalls() const { return waiting_.size(); }
    // The live reading served at /Vesmera/Reading, its changes sent as signals; none by
    // default. It must outlive the layer or be taken back with nullptr.
    void SetReading(LiveReading* reading);

    // A guard against a client that creates without end; creation beyond it fails.
    void SetObjectLimit(std::size_t limit) { table_.SetObjectLimit(limit); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

private:
    struct ClassEntry {
        const ClassInfo* cls;
        BusInterface iface;
    };

    void Dispatch(const QDBusMessage& message);
    // The member a call names in the first of the interfaces that has it, its arguments
    // checked; none after an error reply was sent.
    const BusMethod* Checked(std::initializer_list<const BusInterface*> ifaces,
                             const QDBusMessage& message);
    void CallReading(const QDBusMessage& message);
    void CallFactory(const ClassEntry& entry, const QDBusMessage& message);
    void CallObject(const ObjectTable::Object& object, const QDBusMessage& message);
    void CallMember(const ObjectTable::Object& object, const BusMethod& method,
                    const QDBusMessage& message);
    QDBusMessage CreateObject(const ClassEntry& entry, const QDBusMessage& message);
    void WatchClient(const QString& client);
    void Reply(const QDBusMessage& reply);
    const ClassEntry* FactoryAt(const QString& path) const;

    const AutomationContext* context_ = nullptr;
    std::vector<QDBusMessage> waiting_; // calls that came before Serve
    QDBusConnection connection_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::map<QString, ClassEntry> classes_; // by factory path
    ObjectTable table_;
    LiveReading* reading_ = nullptr;
    bool failureBoxOpen_ = false;
    bool offered_ = false;
    bool namesOwned_ = false;
};

} // namespace vesmera
