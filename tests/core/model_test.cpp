#include "model/c3dshape.h"

#include <gtest/gtest.h>

namespace {

struct TypeCase {
    int type;
    const char* typeName;
    const char* defaultNameBytes; // Windows-1250
};

class ShapeTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(ShapeTypeTest, NewShapeHasTheTypesNamesAndStartsListedRed)
{
    const TypeCase& c = GetParam();
    const C3dShape shape(4, -5, 6, c.type);
    EXPECT_EQ(shape.GetType(), c.type);
    EXPECT_STREQ(shape.GetTypeName(), c.typeName);
    EXPECT_STREQ(shape.GetDefaultName(), c.defaultNameBytes);
    EXPECT_STREQ(shape.m_szName, c.defaultNameBytes);
    EXPECT_EQ(shape.m_nX, 4);
    EXPECT_EQ(shape.m_nY, -5);
    EXPECT_EQ(shape.m_nZ, 6);
    EXPECT_EQ(shape.GetColourText(), "Red");
}

INSTANTIATE_TEST_SUITE_P(Types, ShapeTypeTest,
                         ::testing::Values(TypeCase{1, "Sphere", "\x4B\x75\x6C\x65\x63\x7A\x6B\x61"},
                                           TypeCase{2, "Cube", "\x53\x7A\x65\x9C\x63\x69\x61\x6E\x69\x6B"},
                                           TypeCase{3, "Star",
                                                    "\x4D\x61\xB3\x61\x20\x9C\x6C\x69\x63\x7A\x6E\x61\x20\x67\x77"
                                                    "\x69\x61\x7A\x64\x6B\x61"},
                                           TypeCase{7, "Borg", "Borg"}, TypeCase{0, "Borg", "Borg"},
                                           TypeCase{-1, "Borg", "Borg"}));

TEST(ShapeTest, EditedTypeChangesTypeNameButNotName)
{
    for (const int type : {7, 0, -1}) {
        C3dShape shape(0, 0, 0, SHAPE_CUBE);
        shape.m_nType = type;
        EXPECT_STREQ(shape.GetTypeName(), "Borg") << type;
        EXPECT_STREQ(shape.m_szName, "Sze\x9C" "cianik") << type;
    }
}

struct ColourCase {
    int mode;
    int colour;
    const char* text;
};

class ColourTextTest : public ::testing::TestWithParam<ColourCase> {};

TEST_P(ColourTextTest, Text)
{
    C3dShape shape(0, 0, 0, SHAPE_SPHERE);
    shape.m_nColourMode = GetParam().mode;
    shape.m_nColour = GetParam().colour;
    EXPECT_EQ(shape.GetColourText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Colours, ColourTextTest,
    ::testing::Values(ColourCase{0, 0, "Red"}, ColourCase{0, 1, "Green"}, ColourCase{0, 2, "Blue"},
                      ColourCase{0, -1, "Unknown"}, ColourCase{0, 3, "Unknown"},
                      ColourCase{1, C3dShape::Rgb(255, 128, 0), "#FF8000"}, ColourCase{1, 2, "#020000"},
                      ColourCase{1, 0x00123456, "#563412"},
                      // Bits above blue are not part of the colour.
                      ColourCase{1, static_cast<int>(0xFF0000FFu), "#FF0000"}));

} // namespace
