#include <gtest/gtest.h>

#include <QXmlStreamReader>
#include <map>

#include "automation/bus_interface.h"
#include "automation/bus_members.h"
#include "automation/type_library.h"
#include "expected_members.h"

namespace vesmera {
namespace {

TEST(TypeLibrary, IdentityAndTypesInOrder) {
    const auto& lib = VesmeraTypeLibrary();
    EXPECT_EQ(lib.name, "Vesmera");
    EXPECT_EQ(lib.majorVersion, 2);
    EXPECT_EQ(lib.minorVersion, 0);
    EXPECT_EQ(lib.VersionText(), "2.0");
    EXPECT_EQ(lib.locale, 1033u);
    ASSERT_EQ(lib.types.size(), 4u);
    const unsigned dual = kTypeFlagDual | kTypeFlagOleAutomation | kTypeFlagDispatchable;
    EXPECT_EQ(lib.types[0].name, "IData");
    EXPECT_EQ(lib.types[0].docString, "Dispatch interface for Vesmera Object");
    EXPECT_EQ(lib.types[0].flags, dual);
    EXPECT_EQ(lib.types[1].name, "Data");
    EXPECT_EQ(lib.types[1].docString, "Vesmera Object");
    EXPECT_EQ(lib.types[1].flags, unsigned(kTypeFlagCanCreate));
    EXPECT_EQ(lib.types[1].defaultInterface, "IData");
    EXPECT_EQ(lib.types[2].name, "IScAuto");
    EXPECT_EQ(lib.types[2].docString, "Dispatch interface for ScAuto Object");
    EXPECT_EQ(lib.types[2].flags, dual);
    EXPECT_EQ(lib.types[3].name, "ScAuto");
    EXPECT_EQ(lib.types[3].docString, "ScAuto Object");
    EXPECT_EQ(lib.types[3].defaultInterface, "IScAuto");
}

TEST(TypeLibrary, GuidsAreFixedBracedUpperCaseAndDistinct) {
    // Clients bind to these; they must never change. Each is written as StringFromCLSID writes
    // it: braced, upper-case hexadecimal.
    EXPECT_EQ(VesmeraTypeLibrary().guid, "{5578C4EA-D21E-463A-9124-12456C6C4CBA}");
    const std::map<std::string, std::string> expected{
        {"IData", "{2AD42566-8370-46CB-9CC8-BE5403CE275C}"},
        {"Data", "{7B2756BA-CFB8-483B-B936-8950A73397E6}"},
        {"IScAuto", "{42E8A918-7C92-4E1C-A317-EFC19F67D776}"},
        {"ScAuto", "{348C4E60-6D81-4A05-A65D-30B3F4D47FBD}"}};
    std::map<std::string, std::string> types;
    for (const auto& t : VesmeraTypeLibrary().types)
        types[t.name] = t.guid;
    EXPECT_EQ(types, expected);
    // The classes and interfaces the server objects use carry the same identities.
    EXPECT_EQ(DataClass().Clsid(), expected.at("Data"));
    EXPECT_EQ(ScAutoClass().Clsid(), expected.at("ScAuto"));
    EXPECT_EQ(IDataInterface().iid, expected.at("IData"));
    EXPECT_EQ(IScAutoInterface().iid, expected.at("IScAuto"));
}

TEST(TypeLibrary, ClassesAndFactoryOrder) {
    EXPECT_EQ(DataClass().ProgId(), "Vesmera.Data");
    EXPECT_EQ(ScAutoClass().ProgId(), "Vesmera.ScAuto");
    EXPECT_EQ(DataClass().Description(), "Vesmera Object");
    EXPECT_EQ(ScAutoClass().Description(), "ScAuto Object");
    const auto list = FactoryList();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], &DataClass());
    EXPECT_EQ(list[1], &ScAutoClass());
}

TEST(TypeLibrary, PropertyGetsAndParameterFlags) {
    const auto& sc = IScAutoInterface().members;
    EXPECT_EQ(sc.at(11).kind, MemberKind::PropertyGet);                     // ChannelsCount
    EXPECT_EQ(sc.at(23).kind, MemberKind::PropertyGet);                     // DynamicStatus
    EXPECT_EQ(sc.at(18).kind, MemberKind::Method);                          // SetSignal
    EXPECT_EQ(sc.at(9).params.at(0).direction, ParamDirection::Out);        // GetChannels ccn
    EXPECT_EQ(sc.at(28).params.at(1).direction, ParamDirection::OutRetval); // GetWeightNet
    EXPECT_EQ(sc.at(15).params.at(3).type, AutoType::Currency);             // SetCompPrms Doze
    const auto& data = IDataInterface().members;
    EXPECT_EQ(data.at(0).kind, MemberKind::PropertyGet);
    EXPECT_EQ(data.at(1).kind, MemberKind::PropertyGet);
    EXPECT_EQ(data.at(2).kind, MemberKind::Method);
}

void ExpectBusInterface(const BusInterface& iface,
                        const std::vector<test::ExpectedMember>& expected) {
    ASSERT_EQ(iface.methods.size(), expected.size());
    for (const auto& e : expected) {
        const BusMethod& m = iface.methods.at(static_cast<std::size_t>(e.position - 1));
        EXPECT_EQ(m.name, e.name) << e.position;
        EXPECT_EQ(m.dispId, e.dispId) << e.name;
        EXPECT_EQ(m.InSignature(), e.in) << e.name;
        EXPECT_EQ(m.OutSignature(), e.out) << e.name;
    }
}

TEST(BusInterface, DerivedFromTheTypeDescription) {
    const BusInterface data = BusInterfaceOf(IDataInterface());
    EXPECT_EQ(data.name, "Vesmera.IData");
    ExpectBusInterface(data, test::kExpectedIData);
    const BusInterface sc = BusInterfaceOf(IScAutoInterface());
    EXPECT_EQ(sc.name, "Vesmera.IScAuto");
    ExpectBusInterface(sc, test::kExpectedIScAuto);
}

TEST(BusInterface, InterfaceDocumentParsesAndCarriesDispIds) {
    const std::string doc = InterfaceDocument(BusInterfaceOf(IScAutoInterface()));
    QXmlStreamReader xml(QString::fromStdString(doc));
    std::vector<std::pair<std::string, int>> seen;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("method"))
            seen.emplace_back(xml.attributes().value("name").toString().toStdString(), 0);
        if (xml.isStartElement() && xml.name() == QLatin1String("annotation")) {
            EXPECT_EQ(xml.attributes().value("name").toString(), "Vesmera.DispId");
            seen.back().second = xml.attributes().value("value").toInt();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    ASSERT_EQ(seen.size(), 30u);
    EXPECT_EQ(seen[18], std::make_pair(std::string("SetSignal"), 226));
    EXPECT_EQ(seen[23], std::make_pair(std::string("DynamicStatus"), 222));
    EXPECT_EQ(seen[29], std::make_pair(std::string("GetStatusNet"), 223));
}

} // namespace
} // namespace vesmera
