#include "automation/type_library.h"

#include <array>
#include <charconv>

#include "automation/member_names.h"
#include "common/exception.h"

namespace vesmera {

namespace {

// Chosen once; clients bind to these and they never change.
constexpr const char* kLibraryGuid = "{5578C4EA-D21E-463A-9124-12456C6C4CBA}";
constexpr const char* kIDataGuid = "{2AD42566-8370-46CB-9CC8-BE5403CE275C}";
constexpr const char* kDataGuid = "{7B2756BA-CFB8-483B-B936-8950A73397E6}";
constexpr const char* kIScAutoGuid = "{42E8A918-7C92-4E1C-A317-EFC19F67D776}";
constexpr const char* kScAutoGuid = "{348C4E60-6D81-4A05-A65D-30B3F4D47FBD}";

constexpr unsigned kInterfaceFlags = kTypeFlagDual | kTypeFlagOleAutomation | kTypeFlagDispatchable;

using A = AutoType;
using D = ParamDirection;

ParamInfo In(const char* name, AutoType type) {
    return {name, type, D::In};
}
ParamInfo Ret(const char* name, AutoType type) {
    return {name, type, D::OutRetval};
}
ParamInfo Out(const char* name, AutoType type) {
    return {name, type, D::Out};
}

MemberInfo Method(std::int32_t id, const char* name, std::vector<ParamInfo> params) {
    return {id, MemberKind::Method, name, std::move(params)};
}
MemberInfo Get(std::int32_t id, const char* name, std::vector<ParamInfo> params) {
    return {id, MemberKind::PropertyGet, name, std::move(params)};
}

// The common shape of most IScAuto members: two selector bytes and a variant result.
MemberInfo Sel1(std::int32_t id, const char* name) {
    return Method(id, name, {In("sc_n", A::I1), In("cn_n", A::I1), Ret("res", A::Variant)});
}
MemberInfo Sel1Extra(std::int32_t id, const char* name, const char* extra) {
    return Method(id, name,
                  {In("sc_n", A::I1), In("cn_n", A::I1), In(extra, A::I1), Ret("res", A::Variant)});
}
MemberInfo Sel2(std::int32_t id, const char* name) {
    return Method(id, name, {In("sc_n", A::I2), In("cn_n", A::I2), Ret("res", A::Variant)});
}

InterfaceInfo MakeIData() {
    return {"IData",
            kIDataGuid,
            {
                Get(202, member_names::GetStatus, {In("Name", A::String), Ret("Value", A::String)}),
                Get(203, member_names::GetWeight, {In("Name", A::String), Ret("Value", A::String)}),
                Method(201, member_names::SetNull, {In("Name", A::String)}),
            }};
}

InterfaceInfo MakeIScAuto() {
    return {"IScAuto",
            kIScAutoGuid,
            {
                Sel2(201, member_names::GetWeight),
                Sel2(202, member_names::SetNull),
                Method(203, member_names::GetCount,
                       {In("sc_n", A::I2), In("cn_n", A::I2), In("cnt_n", A::I2),
                        Ret("res", A::Variant)}),
                Sel2(204, member_names::GetStatus),
                Method(205, member_names::SetTerminal,
                       {In("term_n", A::I2), In("cn_n", A::I2), Ret("res", A::Variant)}),
                Sel1(206, member_names::GetOsCount),
                Sel1Extra(207, member_names::GetOsWeight, "os_number"),
                Sel1Extra(208, member_names::SetOutLevels, "outval"),
                Method(209, member_names::GetInLevels,
                       {In("sc_n", A::I1), In("cn_n", A::I1), Ret("ret", A::Variant)}),
                Method(210, member_names::GetChannels,
                       {Out("ccn", A::Variant), Out("ct1", A::Variant), Out("ct2", A::Variant)}),
                Method(211, member_names::GetTerminalAddress,
                       {In("cn_n", A::I1), In("trm_n", A::I1), Ret("res", A::Variant)}),
                Get(212, member_names::ChannelsCount, {Ret("Value", A::I1)}),
                Get(213, member_names::DevicesOnFirstChannel, {Ret("Value", A::I1)}),
                Get(214, member_names::DevicesOnSecondChannel, {Ret("Value", A::I1)}),
                Sel1Extra(215, member_names::GetCompPrms, "comp_n"),
                Method(216, member_names::SetCompPrms,
                       {In("sc_n", A::I1), In("cn_n", A::I1), In("comp_n", A::I1),
                        In("Doze", A::Currency), In("Grubo", A::Currency),
                        In("Tochno", A::Currency), Ret("res", A::Variant)}),
                Sel1Extra(217, member_names::DozatorAction, "action"),
                Method(218, member_names::GetSensors, {Ret("ret", A::Variant)}),
                Method(226, member_names::SetSignal, {In("Num", A::I4), Ret("res", A::Variant)}),
                Method(219, member_names::GetLastError,
                       {In("sc_n", A::I1), In("cn_n", A::I1), Ret("ret", A::Variant)}),
                Sel1(220, member_names::SaveRecipe),
                Method(227, member_names::SendMessage,
                       {In("sc_n", A::I1), In("cn_n", A::I1), In("msg", A::String),
                        Ret("res", A::Variant)}),
                Sel1(228, member_names::SetIndMode),
                Get(222, member_names::DynamicStatus, {Ret("Value", A::I1)}),
                Sel1(230, member_names::GetStatusEx),
                Sel1Extra(233, member_names::GetCountInt, "cnt_n"),
                Sel2(234, member_names::GetWeightNetto),
                Method(224, member_names::SetNullNet, {In("Name", A::String)}),
                Method(221, member_names::GetWeightNet,
                       {In("Name", A::String), Ret("Value", A::Variant)}),
                Method(223, member_names::GetStatusNet,
                       {In("Name", A::String), Ret("Value", A::Variant)}),
            }};
}

} // namespace

std::string ClassInfo::ProgId() const {
    return VesmeraTypeLibrary().name + "." + name;
}

namespace {
const TypeInfoEntry& EntryOf(const std::string& name) {
    for (const auto& entry : VesmeraTypeLibrary().types)
        if (entry.name == name)
            return entry;
    throw Exception("Type " + name + " is not in the library");
}
} // namespace

std::string ClassInfo::Clsid() const {
    return EntryOf(name).guid;
}
std::string ClassInfo::Description() const {
    return EntryOf(name).docString;
}

std::string TypeLibraryInfo::VersionText() const {
    std::array<char, 16> major{}, minor{};
    auto a = std::to_chars(major.data(), major.data() + major.size(), majorVersion);
    auto b = std::to_chars(minor.data(), minor.data() + minor.size(), minorVersion);
    return std::string(major.data(), a.ptr) + "." + std::string(minor.data(), b.ptr);
}

const InterfaceInfo& IDataInterface() {
    static const InterfaceInfo info = MakeIData();
    return info;
}

const InterfaceInfo& IScAutoInterface() {
    static const InterfaceInfo info = MakeIScAuto();
    return info;
}

const TypeLibraryInfo& VesmeraTypeLibrary() {
    static const TypeLibraryInfo info{
        "Vesmera",
        2,
        0,
        0x409,
        kLibraryGuid,
        {
            {TypeKind::DispatchInterface, "IData", "Dispatch interface for Vesmera Object",
             kInterfaceFlags, kIDataGuid, ""},
            {TypeKind::CoClass, "Data", "Vesmera Object", kTypeFlagCanCreate, kDataGuid, "IData"},
            {TypeKind::DispatchInterface, "IScAuto", "Dispatch interface for ScAuto Object",
             kInterfaceFlags, kIScAutoGuid, ""},
            {TypeKind::CoClass, "ScAuto", "ScAuto Object", kTypeFlagCanCreate, kScAutoGuid,
             "IScAuto"},
        }};
    return info;
}

const ClassInfo& DataClass() {
    static const ClassInfo info{"Data", "TData", &IDataInterface()};
    return info;
}

const ClassInfo& ScAutoClass() {
    static const ClassInfo info{"ScAuto", "TScAuto", &IScAutoInterface()};
    return info;
}

std::vector<const ClassInfo*> FactoryList() {
    return {&DataClass(), &ScAutoClass()};
}

} // namespace vesmera
