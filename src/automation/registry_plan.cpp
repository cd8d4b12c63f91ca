#include "automation/registry_plan.h"

#include "automation/com_server.h"
#include "automation/type_library.h"

namespace vesmera {

namespace {

std::string Prefix(RegistryScope scope) {
    return scope == RegistryScope::PerUser ? "Software\\Classes\\" : "";
}

struct ClassKeys {
    std::string clsidKey, localServer, progIdKey, progIdClsid, progId, version, typeLib;
};

ClassKeys KeysOf(const ClassInfo& info, RegistryScope scope) {
    const std::string clsid = Prefix(scope) + "CLSID\\" + info.Clsid();
    const std::string progId = Prefix(scope) + info.ProgId();
    return {clsid,
            clsid + "\\" + TComServer::GetServerKey(),
            progId,
            progId + "\\Clsid",
            clsid + "\\ProgID",
            clsid + "\\Version",
            clsid + "\\TypeLib"};
}

} // namespace

std::string RegistryRoot(RegistryScope scope) {
    return scope == RegistryScope::PerUser ? "HKEY_CURRENT_USER" : "HKEY_CLASSES_ROOT";
}

std::vector<RegistryEntry> RegistryPlan(RegistryScope scope, const std::string& serverPath) {
    std::vector<RegistryEntry> plan;
    const auto& library = VesmeraTypeLibrary();
    for (const ClassInfo* info : FactoryList()) {
        const ClassKeys keys = KeysOf(*info, scope);
        plan.push_back({keys.clsidKey, info->Description()});
        plan.push_back({keys.localServer, serverPath});
        plan.push_back({keys.progIdKey, info->Description()});
        plan.push_back({keys.progIdClsid, info->Clsid()});
        plan.push_back({keys.progId, info->ProgId()});
        plan.push_back({keys.version, library.VersionText()});
        plan.push_back({keys.typeLib, library.guid});
    }
    return plan;
}

std::vector<std::string> RegistryDeletionPlan(RegistryScope scope) {
    std::vector<std::string> plan;
    for (const ClassInfo* info : FactoryList()) {
        const ClassKeys keys = KeysOf(*info, scope);
        for (const std::string* key :
             {&keys.typeLib, &keys.version, &keys.progId, &keys.progIdClsid, &keys.progIdKey,
              &keys.localServer, &keys.clsidKey})
            plan.push_back(*key);
    }
    return plan;
}

} // namespace vesmera
