#include "automation/object_table.h"

#include "common/exception.h"

namespace vesmera {

std::string FactoryPathOf(const ClassInfo& cls) {
    return std::string(kObjectRoot) + "/" + cls.name;
}

ObjectTable::ObjectTable(TComServer& server, ClientWatch watch)
    : server_(server), watch_(std::move(watch)) {}

std::string ObjectTable::Create(const ClassInfo& cls, const std::string& owner) {
    if (objects_.size() >= objectLimit_)
        throw Exception("Too many automation objects are alive");
    const std::string path = FactoryPathOf(cls) + "/" + std::to_string(++numbers_[&cls]);
    objects_.emplace(path, Object{&cls, owner});
    Reference(owner);
    server_.CountObject(true);
    return path;
}

ObjectTable::Access ObjectTable::Use(const std::string& path, const std::string& caller) const {
    const Object* object = Find(path);
    if (!object)
        return Access::NoObject;
    return object->owner == caller ? Access::Granted : Access::Refused;
}

const ObjectTable::Object* ObjectTable::Find(const std::string& path) const {
    const auto it = objects_.find(path);
    return it == objects_.end() ? nullptr : &it->second;
}

ObjectTable::Access ObjectTable::Release(const std::string& path, const std::string& caller) {
    const Access access = Use(path, caller);
    if (access != Access::Granted)
        return access;
    objects_.erase(path);
    Unreference(caller);
    server_.CountObject(false);
    return access;
}

void ObjectTable::Lock(const std::string& owner) {
    ++locks_[owner];
    Reference(owner);
    server_.CountObject(true);
}

bool ObjectTable::Unlock(const std::string& owner) {
    const auto lock = locks_.find(owner);
    if (lock == locks_.end())
        return false;
    if (--lock->second == 0)
        locks_.erase(lock);
    Unreference(owner);
    server_.CountObject(false);
    return true;
}

void ObjectTable::ClientLeft(const std::string& client) {
    std::size_t released = 0;
    for (auto it = objects_.begin(); it != objects_.end();) {
        if (it->second.owner == client) {
            it = objects_.erase(it);
            ++released;
        } else {
            ++it;
        }
    }
    if (const auto lock = locks_.find(client); lock != locks_.end()) {
        released += static_cast<std::size_t>(lock->second);
        locks_.erase(lock);
    }
    if (references_.erase(client) != 0 && watch_.stop)
        watch_.stop(client);
    for (std::size_t i = 0; i < released; ++i)
        server_.CountObject(false);
}

std::size_t ObjectTable::HeldLocks() const {
    std::size_t total = 0;
    for (const auto& [owner, count] : locks_)
        total += static_cast<std::size_t>(count);
    return total;
}

std::vector<std::string> ObjectTable::ObjectsOf(const ClassInfo& cls) const {
    std::vector<std::string> paths;
    for (const auto& [path, object] : objects_)
        if (object.cls == &cls)
            paths.push_back(path);
    return paths;
}

void ObjectTable::Reference(const std::string& owner) {
    if (references_[owner]++ == 0 && watch_.start)
        watch_.start(owner);
}

void ObjectTable::Unreference(const std::string& owner) {
    const auto it = references_.find(owner);
    if (it == references_.end())
        return;
    if (--it->second == 0) {
        references_.erase(it);
        if (watch_.stop)
            watch_.stop(owner);
    }
}

} // namespace vesmera
