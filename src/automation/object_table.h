#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "automation/com_server.h"
#include "automation/type_library.h"

namespace vesmera {

inline constexpr const char* kObjectRoot = "/Vesmera";

// Where a class's factory is served: /Vesmera/<class name>.
std::string FactoryPathOf(const ClassInfo& cls);

// Who holds what of the automation server: the objects clients created and the server locks
// they took, each counted in the TComServer like a COM reference. Everything belongs to the
// client that made it: no other client may use, release or unlock it, and a client that
// leaves leaves nothing behind. Clients are named by their bus connection's unique name,
// objects by their path, /Vesmera/<class>/<n> with n counting up from 1 per class and never
// given out again.
class ObjectTable {
public:
    struct Object {
        const ClassInfo* cls;
        std::string owner;
    };
    // Told when a client comes to hold its first object or lock, from when its departure must
    // be noticed, and when it holds nothing any more.
    struct ClientWatch {
        std::function<void(const std::string& client)> start;
        std::function<void(const std::string& client)> stop;
    };
    enum class Access { Granted, NoObject, Refused };

    ObjectTable(TComServer& server, ClientWatch watch);

    // A new object of the class for owner; its path. Beyond the object limit it throws
    // Exception, with nothing made or counted.
    std::string Create(const ClassInfo& cls, const std::string& owner);
    // Whether caller may call or release the object at path: only its owner may.
    Access Use(const std::string& path, const std::string& caller) const;
    const Object* Find(const std::string& path) const;
    // Releases the object when caller may; otherwise nothing changes.
    Access Release(const std::string& path, const std::string& caller);

    void Lock(const std::string& owner);
    // A client unlocks only what it locked, so one client cannot end the server under the feet
    // of another: false, with nothing changed, when owner holds no lock.
    bool Unlock(const std::string& owner);
    bool HoldsLock(const std::string& owner) const { return locks_.contains(owner); }

    // Releases everything the client held; the count goes down once the books are balanced,
    // so a quit at the last release finds nothing held.
    void ClientLeft(const std::string& client);
    // Whether the client holds any object or lock.
    bool Holds(const std::string& client) const { return references_.contains(client); }

    std::size_t LiveObjects() const { return objects_.size(); }
    std::size_t HeldLocks() const;
    // The paths of the class's live objects, in path order.
    std::vector<std::string> ObjectsOf(const ClassInfo& cls) const;

    // A guard against a client that creates without end.
    void SetObjectLimit(std::size_t limit) { objectLimit_ = limit; }

private:
    void Reference(const std::string& owner);
    void Unreference(const std::string& owner);

    TComServer& server_;
    ClientWatch watch_;
    std::map<std::string, Object> objects_;             // by path
    std::map<std::string, std::int32_t> locks_;         // by owner
    std::map<std::string, std::size_t> references_;     // objects and locks, by owner
    std::map<const ClassInfo*, std::uint64_t> numbers_; // the last number given, by class
    std::size_t objectLimit_ = 100000;
};

} // namespace vesmera
