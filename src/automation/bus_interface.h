#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "automation/type_library.h"

namespace vesmera {

// One interface as the session bus sees it: methods with typed arguments, in and out in
// declaration order. The automation interfaces are derived from the type description; the
// class-object and object interfaces of the bus layer are stated here directly.
struct BusArg {
    std::string name;
    std::string type; // D-Bus signature of one complete type
    bool out = false;
};

struct BusMethod {
    std::string name;
    std::optional<std::int32_t> dispId;
    std::vector<BusArg> args;

    std::string InSignature() const;
    std::string OutSignature() const;
};

struct BusSignal {
    std::string name;
    std::vector<BusArg> args;
};

struct BusInterface {
    std::string name; // "Vesmera.IScAuto"
    std::vector<BusMethod> methods;
    std::vector<BusSignal> busSignals;

    const BusMethod* Find(const std::string& method) const;
};

inline constexpr const char* kDispIdAnnotation = "Vesmera.DispId";
inline constexpr const char* kClassFactoryInterface = "Vesmera.ClassFactory";
inline constexpr const char* kObjectInterface = "Vesmera.Object";
inline constexpr const char* kUnexpectedError = "Vesmera.Error.Unexpected";
inline constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

// I1 is "y" (the byte's bits), I2 "n", I4 "i", CY "x" (the scaled 64-bit value), BSTR "s",
// VARIANT "v".
std::string BusTypeOf(AutoType type);

BusInterface BusInterfaceOf(const InterfaceInfo& info);
const BusInterface& ClassFactoryBusInterface();
const BusInterface& ObjectBusInterface();
// The standard properties interface, which the bus library advertises on every object; the
// automation objects have no properties.
const BusInterface& PropertiesBusInterface();

// The <interface> element, each method annotated with its DISPID when it has one, then the
// signals.
std::string IntrospectionXml(const BusInterface& iface);
// A complete introspection document holding the interface, as installed for clients.
std::string InterfaceDocument(const BusInterface& iface);

} // namespace vesmera
