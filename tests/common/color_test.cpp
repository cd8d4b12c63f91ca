#include <gtest/gtest.h>

#include "common/color.h"

using namespace vesmera;

TEST(TextToColor, TheEightNamesOfTheDialog) {
    EXPECT_EQ(TextToColor("clMaroon"), RGB(128, 0, 0));
    EXPECT_EQ(TextToColor("clGreen"), RGB(0, 128, 0));
    EXPECT_EQ(TextToColor("clNavy"), RGB(0, 0, 128));
    EXPECT_EQ(TextToColor("clRed"), RGB(255, 0, 0));
    EXPECT_EQ(TextToColor("clBlue"), RGB(0, 0, 255));
    EXPECT_EQ(TextToColor("clWhite"), RGB(255, 255, 255));
    EXPECT_EQ(TextToColor("clYellow"), RGB(255, 255, 0));
    EXPECT_EQ(TextToColor("clBlack"), RGB(0, 0, 0));
}

TEST(TextToColor, NamesIgnoreCaseNumbersAreRgbValues) {
    EXPECT_EQ(TextToColor("CLGREEN"), RGB(0, 128, 0));
    EXPECT_EQ(TextToColor("clgreen"), RGB(0, 128, 0));
    EXPECT_EQ(TextToColor("255"), RGB(255, 0, 0));
    EXPECT_EQ(TextToColor("65280"), RGB(0, 255, 0));
    EXPECT_EQ(TextToColor("$FF0000"), RGB(0, 0, 255));
    EXPECT_EQ(TextToColor("clSilver"), RGB(192, 192, 192));
}

TEST(TextToColor, UnknownTextFails) {
    EXPECT_THROW(TextToColor("green"), Exception);
    EXPECT_THROW(TextToColor(""), Exception);
    EXPECT_THROW(TextToColor("clGreenish"), Exception);
    EXPECT_FALSE(TryTextToColor("red"));
}

TEST(ColorToRGB, SystemColoursResolveOthersKeepTheirRgb) {
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(240, 240, 240));
    EXPECT_EQ(ColorToRGB(clWindow), RGB(255, 255, 255));
    EXPECT_EQ(ColorToRGB(clWindowText), RGB(0, 0, 0));
    EXPECT_EQ(ColorToRGB(RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(ColorToRGB(0x12345678), 0x345678);
    EXPECT_EQ(ColorToRGB(clSystemColor | 200), clBlack);
}
