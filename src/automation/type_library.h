#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesmera {

// The published type description of the automation server, kept as data: the bus layer, the
// generated introspection XML and the registration files are all derived from it, so clients
// that bind by position (interface order) or by number (DISPID) see one consistent picture.

enum class AutoType { I1, I2, I4, Currency, String, Variant };

enum class ParamDirection { In, Out, OutRetval };

enum class MemberKind { Method, PropertyGet };

enum class TypeKind { DispatchInterface, CoClass };

struct ParamInfo {
    std::string name;
    AutoType type;
    ParamDirection direction = ParamDirection::In;
};

struct MemberInfo {
    std::int32_t dispId;
    MemberKind kind;
    std::string name;
    std::vector<ParamInfo> params;
};

struct InterfaceInfo {
    std::string name;                // "IData"
    std::string iid;                 // braced upper-case GUID
    std::vector<MemberInfo> members; // interface order, after IDispatch's seven operations
};

enum TypeFlag : unsigned {
    kTypeFlagDual = 1u << 0,
    kTypeFlagOleAutomation = 1u << 1,
    kTypeFlagDispatchable = 1u << 2,
    kTypeFlagCanCreate = 1u << 3,
};

struct TypeInfoEntry {
    TypeKind kind;
    std::string name;
    std::string docString;
    unsigned flags;
    std::string guid;
    std::string defaultInterface; // classes only
};

// A creatable class as its factory knows it; GUID and description come from its entry in the
// library, so they are stated once.
struct ClassInfo {
    std::string name;           // "Data"
    std::string implementation; // "TData"
    const InterfaceInfo* defaultInterface;

    std::string ProgId() const;      // library name, full stop, class name
    std::string Clsid() const;       // braced upper-case GUID
    std::string Description() const; // the class's doc string
};

struct TypeLibraryInfo {
    std::string name;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint32_t locale;
    std::string guid;
    std::vector<TypeInfoEntry> types; // in library order

    std::string VersionText() const; // "2.0"
};

const TypeLibraryInfo& VesmeraTypeLibrary();
const InterfaceInfo& IDataInterface();
const InterfaceInfo& IScAutoInterface();
const ClassInfo& DataClass();
const ClassInfo& ScAutoClass();

// The factory list in the order the server walks it for registration and for offering class
// objects: the factory created last comes first, so Data precedes ScAuto.
std::vector<const ClassInfo*> FactoryList();

} // namespace vesmera
