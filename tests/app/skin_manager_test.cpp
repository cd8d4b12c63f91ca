#include "app/skin_manager.h"

#include <set>

#include <gtest/gtest.h>

namespace vesmera {
namespace {

TEST(BuiltInSkins, SeventyEightDistinctNamesInListOrder) {
    const auto names = BuiltInSkinNames();
    ASSERT_EQ(names.size(), 78u);
    EXPECT_EQ(names.front(), "Acryl");
    EXPECT_EQ(names[12], "Cold");
    EXPECT_EQ(names[75], "Wood");
    EXPECT_EQ(names.back(), "XPSilver");
    EXPECT_EQ(std::set<std::string_view>(names.begin(), names.end()).size(), 78u);
    for (std::string_view name : names) {
        EXPECT_TRUE(PaletteForSkin(std::string(name) + " (internal)").has_value()) << name;
    }
}

TEST(BuiltInSkins, OnlyInternalNamesOfKnownSkinsHaveAPalette) {
    EXPECT_FALSE(PaletteForSkin("Cold").has_value());
    EXPECT_FALSE(PaletteForSkin("Нет (internal)").has_value());
    EXPECT_FALSE(PaletteForSkin("Frosty (internal)").has_value());
    EXPECT_FALSE(PaletteForSkin(" (internal)").has_value());
    // Families: the two blue Office skins look alike, and unlike the black one.
    EXPECT_EQ(PaletteForSkin("Office2007 Blue (internal)"), PaletteForSkin("Cold (internal)"));
    EXPECT_NE(PaletteForSkin("Office2007 Black (internal)"), PaletteForSkin("Cold (internal)"));
}

class SkinManagerTest : public ::testing::Test {
protected:
    std::vector<std::optional<SkinPalette>> repaints;
    SkinManager manager{[this](const std::optional<SkinPalette>& p) { repaints.push_back(p); }};
};

TEST_F(SkinManagerTest, RepaintsWhenSwitchedOnAndBackWhenSwitchedOff) {
    manager.SetSkinName("Deep (internal)");
    EXPECT_TRUE(repaints.empty()); // not active yet
    manager.SetActive(true);
    ASSERT_EQ(repaints.size(), 1u);
    EXPECT_EQ(repaints[0], PaletteForSkin("Deep (internal)"));
    manager.SetActive(false);
    ASSERT_EQ(repaints.size(), 2u);
    EXPECT_FALSE(repaints[1].has_value());
    EXPECT_EQ(manager.SkinName(), "Deep (internal)");
}

TEST_F(SkinManagerTest, TheSameSkinAgainDoesNotRepaint) {
    for (int run = 0; run < 3; ++run) {
        manager.SetSkinName("Cold (internal)");
        manager.SetActive(true);
    }
    EXPECT_EQ(repaints.size(), 1u);
    manager.SetSkinName("Winter2003 (internal)"); // same family, same look
    EXPECT_EQ(repaints.size(), 1u);
    manager.SetSkinName("Wood (internal)");
    EXPECT_EQ(repaints.size(), 2u);
}

TEST_F(SkinManagerTest, AnUnknownNameShowsTheUnskinnedLook) {
    manager.SetSkinName("Cold (internal)");
    manager.SetActive(true);
    manager.SetSkinName("cold (internal)");
    ASSERT_EQ(repaints.size(), 2u);
    EXPECT_FALSE(repaints.back().has_value());
    EXPECT_TRUE(manager.Active());
    EXPECT_FALSE(manager.CurrentPalette().has_value());
}

} // namespace
} // namespace vesmera
