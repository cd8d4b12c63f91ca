#include "automation/bus_members.h"

#include <QDBusVariant>
#include <functional>
#include <map>

#include "automation/data_object.h"
#include "automation/member_names.h"
#include "automation/scauto_object.h"
#include "common/exception.h"

namespace vesmera {

namespace {

// A member's bus call: its answer may come after it returns.
template <typename Object>
using Handler = std::function<void(const Object&, const QVariantList&, BusAnswer)>;

// A member that answers from memory, before it returns.
template <typename Object, typename Fn> Handler<Object> Now(Fn fn) {
    return [fn](const Object& o, const QVariantList& a, BusAnswer answer) { answer(fn(o, a)); };
}

// Bus arguments to the declared automation types: "y" carries the bits of an I1.
std::int8_t I1(const QVariantList& a, int i) {
    return static_cast<std::int8_t>(a.at(i).value<uchar>());
}
std::int16_t I2(const QVariantList& a, int i) {
    return a.at(i).value<short>();
}
std::int32_t I4(const QVariantList& a, int i) {
    return a.at(i).value<int>();
}
std::int64_t CY(const QVariantList& a, int i) {
    return a.at(i).value<qlonglong>();
}
std::string Str(const QVariantList& a, int i) {
    return a.at(i).toString().toStdString();
}

QVariantList V(const AutoValue& value) {
    return {ToBusVariant(value)};
}
QVariantList Byte(std::int8_t value) {
    return {QVariant::fromValue(static_cast<uchar>(static_cast<std::uint8_t>(value)))};
}
QVariantList Text(const std::string& value) {
    return {QString::fromStdString(value)};
}

// Every member of IData asks the weight server, so all of them answer later.
const std::map<std::string, Handler<TData>>& DataHandlers() {
    using O = TData;
    using L = QVariantList;
    static const std::map<std::string, Handler<TData>> handlers{
        {member_names::GetStatus,
         [](const O& o, const L& a, BusAnswer answer) {
             o.GetStatus(Str(a, 0), [answer](const std::string& t) { answer(Text(t)); });
         }},
        {member_names::GetWeight,
         [](const O& o, const L& a, BusAnswer answer) {
             o.GetWeight(Str(a, 0), [answer](const std::string& t) { answer(Text(t)); });
         }},
        {member_names::SetNull,
         [](const O& o, const L& a, BusAnswer answer) {
             o.SetNull(Str(a, 0), [answer] { answer(L{}); });
         }},
    };
    return handlers;
}

const std::map<std::string, Handler<TScAuto>>& ScAutoHandlers() {
    using O = TScAuto;
    using L = QVariantList;
    static const std::map<std::string, Handler<TScAuto>> handlers{
        {member_names::GetWeight,
         Now<O>([](const O& o, const L& a) { return V(o.GetWeight(I2(a, 0), I2(a, 1))); })},
        {member_names::GetCount, Now<O>([](const O& o, const L& a) {
             return V(o.GetCount(I2(a, 0), I2(a, 1), I2(a, 2)));
         })},
        {member_names::GetStatus,
         Now<O>([](const O& o, const L& a) { return V(o.GetStatus(I2(a, 0), I2(a, 1))); })},
        {member_names::SetTerminal,
         Now<O>([](const O& o, const L& a) { return V(o.SetTerminal(I2(a, 0), I2(a, 1))); })},
        {member_names::GetOsCount,
         Now<O>([](const O& o, const L& a) { return V(o.GetOsCount(I1(a, 0), I1(a, 1))); })},
        {member_names::GetOsWeight, Now<O>([](const O& o, const L& a) {
             return V(o.GetOsWeight(I1(a, 0), I1(a, 1), I1(a, 2)));
         })},
        {member_names::SetOutLevels, Now<O>([](const O& o, const L& a) {
             return V(o.SetOutLevels(I1(a, 0), I1(a, 1), I1(a, 2)));
         })},
        {member_names::GetInLevels,
         Now<O>([](const O& o, const L& a) { return V(o.GetInLevels(I1(a, 0), I1(a, 1))); })},
        {member_names::GetChannels, Now<O>([](const O& o, const L&) {
             AutoValue ccn, ct1, ct2;
             o.GetChannels(ccn, ct1, ct2);
             return L{ToBusVariant(ccn), ToBusVariant(ct1), ToBusVariant(ct2)};
         })},
        {member_names::GetTerminalAddress, Now<O>([](const O& o, const L& a) {
             return V(o.GetTerminalAddress(I1(a, 0), I1(a, 1)));
         })},
        {member_names::ChannelsCount,
         Now<O>([](const O& o, const L&) { return Byte(o.ChannelsCount()); })},
        {member_names::DevicesOnFirstChannel,
         Now<O>([](const O& o, const L&) { return Byte(o.DevicesOnFirstChannel()); })},
        {member_names::DevicesOnSecondChannel,
         Now<O>([](const O& o, const L&) { return Byte(o.DevicesOnSecondChannel()); })},
        {member_names::GetCompPrms, Now<O>([](const O& o, const L& a) {
             return V(o.GetCompPrms(I1(a, 0), I1(a, 1), I1(a, 2)));
         })},
        {member_names::SetCompPrms, Now<O>([](const O& o, const L& a) {
             return V(o.SetCompPrms(I1(a, 0), I1(a, 1), I1(a, 2), CY(a, 3), CY(a, 4), CY(a, 5)));
         })},
        {member_names::DozatorAction, Now<O>([](const O& o, const L& a) {
             return V(o.DozatorAction(I1(a, 0), I1(a, 1), I1(a, 2)));
         })},
        {member_names::GetSensors, Now<O>([](const O& o, const L&) { return V(o.GetSensors()); })},
        {member_names::SetSignal,
         Now<O>([](const O& o, const L& a) { return V(o.SetSignal(I4(a, 0))); })},
        {member_names::GetLastError,
         Now<O>([](const O& o, const L& a) { return V(o.GetLastError(I1(a, 0), I1(a, 1))); })},
        {member_names::SaveRecipe,
         Now<O>([](const O& o, const L& a) { return V(o.SaveRecipe(I1(a, 0), I1(a, 1))); })},
        {member_names::SendMessage, Now<O>([](const O& o, const L& a) {
             return V(o.SendMessage(I1(a, 0), I1(a, 1), Str(a, 2)));
         })},
        {member_names::SetIndMode,
         Now<O>([](const O& o, const L& a) { return V(o.SetIndMode(I1(a, 0), I1(a, 1))); })},
        {member_names::DynamicStatus, Now<O>([](const O& o, const L&) {
             o.DynamicStatus();
             return Byte(0);
         })},
        {member_names::GetStatusEx,
         Now<O>([](const O& o, const L& a) { return V(o.GetStatusEx(I1(a, 0), I1(a, 1))); })},
        {member_names::GetCountInt, Now<O>([](const O& o, const L& a) {
             return V(o.GetCountInt(I1(a, 0), I1(a, 1), I1(a, 2)));
         })},
        {member_names::GetWeightNetto,
         Now<O>([](const O& o, const L& a) { return V(o.GetWeightNetto(I2(a, 0), I2(a, 1))); })},
        {member_names::SetNull,
         [](const O& o, const L& a, BusAnswer answer) {
             o.SetNull(I2(a, 0), I2(a, 1),
                       [answer = std::move(answer)](const AutoValue& v) { answer(V(v)); });
         }},
        {member_names::SetNullNet,
         [](const O& o, const L& a, BusAnswer answer) {
             o.SetNullNet(Str(a, 0), [answer] { answer(L{}); });
         }},
        {member_names::GetWeightNet,
         [](const O& o, const L& a, BusAnswer answer) {
             o.GetWeightNet(Str(a, 0), [answer](const std::string& t) { answer(V(t)); });
         }},
        {member_names::GetStatusNet,
         [](const O& o, const L& a, BusAnswer answer) {
             o.GetStatusNet(Str(a, 0), [answer](const std::string& t) { answer(V(t)); });
         }},
    };
    return handlers;
}

template <typename Object>
void Run(const std::map<std::string, Handler<Object>>& handlers, const std::string& member,
         const AutomationContext& context, const QVariantList& args, BusAnswer answer) {
    const auto it = handlers.find(member);
    if (it == handlers.end())
        throw Exception("Unknown member " + member);
    it->second(Object(context), args, std::move(answer));
}

} // namespace

QVariant ToBusVariant(const AutoValue& value) {
    struct Visitor {
        QVariant operator()(std::monostate) const { return QVariant(QVariantList{}); }
        QVariant operator()(std::int32_t v) const { return QVariant(v); }
        QVariant operator()(double v) const { return QVariant(v); }
        QVariant operator()(const std::string& v) const {
            return QVariant(QString::fromStdString(v));
        }
    };
    return QVariant::fromValue(QDBusVariant(std::visit(Visitor{}, value)));
}

void InvokeMember(const ClassInfo& cls, const std::string& member, const AutomationContext& context,
                  const QVariantList& args, BusAnswer answer) {
    if (&cls == &DataClass())
        Run(DataHandlers(), member, context, args, std::move(answer));
    else
        Run(ScAutoHandlers(), member, context, args, std::move(answer));
}

} // namespace vesmera
