#include "testutil.h"
#include "document/scenejson.h"

#include <gtest/gtest.h>

namespace {

// One object in JSON with `field` set to `value` (raw JSON text), or left
// out when `value` is null.
QByteArray objectJson(const char* field, const char* value)
{
    const char* keys[] = {"name", "type", "x", "y", "z", "colourMode", "colour"};
    const char* values[] = {"\"A\"", "1", "2", "3", "4", "1", "5"};
    QByteArray json = "{\"schema\": 3, \"objects\": [{";
    bool first = true;
    for (int i = 0; i < 7; ++i) {
        const char* text = std::string_view(keys[i]) == field ? value : values[i];
        if (!text)
            continue;
        json += QByteArray(first ? "" : ", ") + "\"" + keys[i] + "\": " + text;
        first = false;
    }
    if (std::string_view(field) == "extra")
        json += QByteArray(", \"extra\": ") + value;
    return json + "}]}";
}

struct Refusal {
    const char* label;
    QByteArray json;
    const char* reason; // part of the message
    friend std::ostream& operator<<(std::ostream& os, const Refusal& c) { return os << c.label; }
};

class JsonRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(JsonRefusalTest, RefusedWithAReasonNamingTheElement)
{
    QString error;
    EXPECT_FALSE(qbx::ObjectsFromJson(GetParam().json, &error));
    EXPECT_NE(error.toStdString().find(GetParam().reason), std::string::npos) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, JsonRefusalTest,
    ::testing::Values(
        Refusal{"not JSON", "{\"objects\": [", "at offset"},
        Refusal{"not an object", "[]", "not a JSON object"},
        // Regression: taken as the end of the text, the NUL let the scene build.
        Refusal{"bytes after a NUL after the document", QByteArray("{\"objects\": []}\0x", 17),
                "garbage at the end of the document at offset 15"},
        Refusal{"no objects", "{\"schema\": 3}", "\"objects\""},
        Refusal{"unknown top-level key", "{\"objects\": [], \"scheme\": 3}", "unknown key \"scheme\""},
        Refusal{"element not an object", "{\"objects\": [1]}", "objects[0]: not an object"},
        Refusal{"missing name", objectJson("name", nullptr), "objects[0]: missing \"name\""},
        Refusal{"missing colour", objectJson("colour", nullptr), "objects[0]: missing \"colour\""},
        Refusal{"unknown key", objectJson("extra", "1"), "objects[0]: unknown key \"extra\""},
        Refusal{"name not a string", objectJson("name", "7"), "objects[0].name: not a string"},
        Refusal{"name without Windows-1250 form", objectJson("name", "\"\xE6\x97\xA5\""), "objects[0].name"},
        Refusal{"name with a surrogate pair", objectJson("name", "\"\\ud83d\\ude00\""), "objects[0].name"},
        Refusal{"name with NUL", objectJson("name", "\"a\\u0000b\""), "objects[0].name: contains NUL"},
        Refusal{"name of 256 bytes", objectJson("name", ("\"" + std::string(256, 'x') + "\"").c_str()),
                "objects[0].name: longer than 255 bytes"},
        Refusal{"number as text", objectJson("x", "\"2\""), "objects[0].x: not a number"},
        Refusal{"fraction", objectJson("y", "2.5"), "objects[0].y: not an integer"},
        Refusal{"above int32", objectJson("z", "2147483648"), "objects[0].z: outside the 32-bit range"},
        Refusal{"below int32", objectJson("type", "-2147483649"), "objects[0].type: outside the 32-bit range"},
        Refusal{"beyond 64 bits", objectJson("colour", "1e20"), "objects[0].colour: outside the 32-bit range"},
        Refusal{"null number", objectJson("colourMode", "null"), "objects[0].colourMode: not a number"},
        Refusal{"list as a number", objectJson("x", "[1]"), "objects[0].x: not a number"},
        Refusal{"raw tab in a name", objectJson("name", "\"a\tb\""), "at offset"},
        Refusal{"text after the document", "{\"objects\": []} {}", "garbage at the end of the document at offset 16"},
        Refusal{"objects not a list", "{\"objects\": {}}", "\"objects\" is missing or not an array"},
        Refusal{"element a list", "{\"objects\": [[]]}", "objects[0]: not an object"}),
    testutil::ByLabel());

TEST(JsonTest, AcceptsTheLimitsOfEveryField)
{
    QString error;
    const QByteArray json = "{\"schema\": null, \"objects\": [{\"name\": \"" + QByteArray(255 / 2, 'a') +
                            "\xC5\x9B" + QByteArray(255 / 2, 'b') + // "ś" is one Windows-1250 byte
                            "\", \"type\": -2147483648, \"x\": 2147483647, \"y\": -0, \"z\": 1e3, "
                            "\"colourMode\": 2, \"colour\": 16777215}]}";
    const auto objects = qbx::ObjectsFromJson(json, &error);
    ASSERT_TRUE(objects) << error.toStdString();
    ASSERT_EQ(objects->size(), 1u);
    const C3dShape& shape = *(*objects)[0]->m_pShape;
    EXPECT_EQ(std::string(shape.m_szName), std::string(127, 'a') + "\x9C" + std::string(127, 'b'));
    EXPECT_EQ(std::tie(shape.m_nType, shape.m_nX, shape.m_nY, shape.m_nZ, shape.m_nColourMode, shape.m_nColour),
              std::make_tuple(INT32_MIN, INT32_MAX, 0, 1000, 2, 0xFFFFFF));
}

TEST(JsonTest, NamesWithEveryByteSurviveDumpAndRebuild)
{
    qbx::ObjectList objects;
    for (int start = 1; start < 256; start += 64) {
        std::string name;
        for (int b = start; b < start + 64 && b < 256; ++b)
            name.push_back(static_cast<char>(b));
        objects.push_back(testutil::makeObject(name, 1, 0, 0, 0, 0, 0));
    }
    QString error;
    const auto rebuilt = qbx::ObjectsFromJson(QByteArray::fromStdString(testutil::dumpJson(objects, 3)), &error);
    ASSERT_TRUE(rebuilt) << error.toStdString();
    ASSERT_EQ(rebuilt->size(), objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i)
        EXPECT_STREQ((*rebuilt)[i]->m_pShape->m_szName, objects[i]->m_pShape->m_szName) << i;
}

} // namespace
