#include "automation/bus_interface.h"

#include <array>
#include <charconv>

namespace vesmera {

namespace {

std::string Signature(const BusMethod& method, bool out) {
    std::string signature;
    for (const auto& arg : method.args)
        if (arg.out == out)
            signature += arg.type;
    return signature;
}

std::string DecimalText(std::int32_t value) {
    std::array<char, 16> buffer{};
    auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

} // namespace

std::string BusMethod::InSignature() const {
    return Signature(*this, false);
}
std::string BusMethod::OutSignature() const {
    return Signature(*this, true);
}

const BusMethod* BusInterface::Find(const std::string& method) const {
    for (const auto& m : methods)
        if (m.name == method)
            return &m;
    return nullptr;
}

std::string BusTypeOf(AutoType type) {
    switch (type) {
    case AutoType::I1:
        return "y";
    case AutoType::I2:
        return "n";
    case AutoType::I4:
        return "i";
    case AutoType::Currency:
        return "x";
    case AutoType::String:
        return "s";
    case AutoType::Variant:
        return "v";
    }
    return "v";
}

BusInterface BusInterfaceOf(const InterfaceInfo& info) {
    BusInterface iface{VesmeraTypeLibrary().name + "." + info.name, {}, {}};
    for (const auto& member : info.members) {
        BusMethod method{member.name, member.dispId, {}};
        for (const auto& param : member.params)
            method.args.push_back(
                {param.name, BusTypeOf(param.type), param.direction != ParamDirection::In});
        iface.methods.push_back(std::move(method));
    }
    return iface;
}

const BusInterface& ClassFactoryBusInterface() {
    static const BusInterface iface{kClassFactoryInterface,
                                    {
                                        {"CreateInstance", {}, {{"object", "o", true}}},
                                        {"LockServer", {}, {{"lock", "b", false}}},
                                    },
                                    {}};
    return iface;
}

const BusInterface& ObjectBusInterface() {
    static const BusInterface iface{kObjectInterface, {{"Release", {}, {}}}, {}};
    return iface;
}

const BusInterface& PropertiesBusInterface() {
    static const BusInterface iface{
        kPropertiesInterface,
        {
            {"Get", {}, {{"interface", "s", false}, {"name", "s", false}, {"value", "v", true}}},
            {"GetAll", {}, {{"interface", "s", false}, {"values", "a{sv}", true}}},
            {"Set", {}, {{"interface", "s", false}, {"name", "s", false}, {"value", "v", false}}},
        },
        {}};
    return iface;
}

std::string IntrospectionXml(const BusInterface& iface) {
    std::string xml = "  <interface name=\"" + iface.name + "\">\n";
    for (const auto& method : iface.methods) {
        xml += "    <method name=\"" + method.name + "\">\n";
        for (const auto& arg : method.args)
            xml += "      <arg name=\"" + arg.name + "\" type=\"" + arg.type + "\" direction=\"" +
                   (arg.out ? "out" : "in") + "\"/>\n";
        if (method.dispId)
            xml += std::string("      <annotation name=\"") + kDispIdAnnotation + "\" value=\"" +
                   DecimalText(*method.dispId) + "\"/>\n";
        xml += "    </method>\n";
    }
    for (const auto& signal : iface.busSignals) {
        xml += "    <signal name=\"" + signal.name + "\">\n";
        for (const auto& arg : signal.args)
            xml += "      <arg name=\"" + arg.name + "\" type=\"" + arg.type + "\"/>\n";
        xml += "    </signal>\n";
    }
    xml += "  </interface>\n";
    return xml;
}

std::string InterfaceDocument(const BusInterface& iface) {
    return "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n"
           "<node>\n" +
           IntrospectionXml(iface) + "</node>\n";
}

} // namespace vesmera
