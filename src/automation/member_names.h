#pragma once

// The names of the automation members, written once: the type description declares them and
// the bus dispatch finds its handlers by them.
namespace vesmera::member_names {

inline constexpr const char* GetStatus = "GetStatus";
inline constexpr const char* GetWeight = "GetWeight";
inline constexpr const char* SetNull = "SetNull";
inline constexpr const char* GetCount = "GetCount";
inline constexpr const char* SetTerminal = "SetTerminal";
inline constexpr const char* GetOsCount = "GetOsCount";
inline constexpr const char* GetOsWeight = "GetOsWeight";
inline constexpr const char* SetOutLevels = "SetOutLevels";
inline constexpr const char* GetInLevels = "GetInLevels";
inline constexpr const char* GetChannels = "GetChannels";
inline constexpr const char* GetTerminalAddress = "GetTerminalAddress";
inline constexpr const char* ChannelsCount = "ChannelsCount";
inline constexpr const char* DevicesOnFirstChannel = "DevicesOnFirstChannel";
inline constexpr const char* DevicesOnSecondChannel = "DevicesOnSecondChannel";
inline constexpr const char* GetCompPrms = "GetCompPrms";
inline constexpr const char* SetCompPrms = "SetCompPrms";
inline constexpr const char* DozatorAction = "DozatorAction";
inline constexpr const char* GetSensors = "GetSensors";
inline constexpr const char* SetSignal = "SetSignal";
inline constexpr const char* GetLastError = "GetLastError";
inline constexpr const char* SaveRecipe = "SaveRecipe";
inline constexpr const char* SendMessage = "SendMessage";
inline constexpr const char* SetIndMode = "SetIndMode";
inline constexpr const char* DynamicStatus = "DynamicStatus";
inline constexpr const char* GetStatusEx = "GetStatusEx";
inline constexpr const char* GetCountInt = "GetCountInt";
inline constexpr const char* GetWeightNetto = "GetWeightNetto";
inline constexpr const char* SetNullNet = "SetNullNet";
inline constexpr const char* GetWeightNet = "GetWeightNet";
inline constexpr const char* GetStatusNet = "GetStatusNet";

} // namespace vesmera::member_names
