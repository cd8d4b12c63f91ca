#pragma once

#include <string>
#include <vector>

namespace vesmera {

enum class RegistryScope { Machine, PerUser };

struct RegistryEntry {
    std::string key;   // below the scope's root, prefix included
    std::string value; // the key's default value
};

// The keys a registration writes, in writing order, for every class of the factory list.
// `serverPath` is the executable path as LocalServer32 records it.
std::vector<RegistryEntry> RegistryPlan(RegistryScope scope, const std::string& serverPath);

// The keys an unregistration deletes, in deleting order.
std::vector<std::string> RegistryDeletionPlan(RegistryScope scope);

std::string RegistryRoot(RegistryScope scope); // "HKEY_CLASSES_ROOT" or "HKEY_CURRENT_USER"

} // namespace vesmera
