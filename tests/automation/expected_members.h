#pragma once

#include <vector>

namespace vesmera::test {

// The published interfaces as clients bind to them, written out by hand: position in the
// interface, name, DISPID and the bus signatures of the in and out arguments.
struct ExpectedMember {
    int position;
    const char* name;
    int dispId;
    const char* in;
    const char* out;
};

inline const std::vector<ExpectedMember> kExpectedIData = {
    {1, "GetStatus", 202, "s", "s"},
    {2, "GetWeight", 203, "s", "s"},
    {3, "SetNull", 201, "s", ""},
};

inline const std::vector<ExpectedMember> kExpectedIScAuto = {
    {1, "GetWeight", 201, "nn", "v"},
    {2, "SetNull", 202, "nn", "v"},
    {3, "GetCount", 203, "nnn", "v"},
    {4, "GetStatus", 204, "nn", "v"},
    {5, "SetTerminal", 205, "nn", "v"},
    {6, "GetOsCount", 206, "yy", "v"},
    {7, "GetOsWeight", 207, "yyy", "v"},
    {8, "SetOutLevels", 208, "yyy", "v"},
    {9, "GetInLevels", 209, "yy", "v"},
    {10, "GetChannels", 210, "", "vvv"},
    {11, "GetTerminalAddress", 211, "yy", "v"},
    {12, "ChannelsCount", 212, "", "y"},
    {13, "DevicesOnFirstChannel", 213, "", "y"},
    {14, "DevicesOnSecondChannel", 214, "", "y"},
    {15, "GetCompPrms", 215, "yyy", "v"},
    {16, "SetCompPrms", 216, "yyyxxx", "v"},
    {17, "DozatorAction", 217, "yyy", "v"},
    {18, "GetSensors", 218, "", "v"},
    {19, "SetSignal", 226, "i", "v"},
    {20, "GetLastError", 219, "yy", "v"},
    {21, "SaveRecipe", 220, "yy", "v"},
    {22, "SendMessage", 227, "yys", "v"},
    {23, "SetIndMode", 228, "yy", "v"},
    {24, "DynamicStatus", 222, "", "y"},
    {25, "GetStatusEx", 230, "yy", "v"},
    {26, "GetCountInt", 233, "yyy", "v"},
    {27, "GetWeightNetto", 234, "nn", "v"},
    {28, "SetNullNet", 224, "s", ""},
    {29, "GetWeightNet", 221, "s", "v"},
    {30, "GetStatusNet", 223, "s", "v"},
};

} // namespace vesmera::test
