// Documents at the edges of what the JSON reader takes, from memory and
// streamed through buffers of many sizes.
#include "document/scenejson.h"
#include "testutil.h"

#include <QBuffer>
#include <gtest/gtest.h>

namespace {

struct Edge {
    const char* label;
    QByteArray json;
    const char* name; // Windows-1250 bytes
    std::array<std::int32_t, 6> numbers; // type, x, y, z, colourMode, colour
    friend std::ostream& operator<<(std::ostream& os, const Edge& c) { return os << c.label; }
};

QByteArray one(const char* members) { return QByteArray("{\"objects\": [{") + members + "}]}"; }

class JsonEdgeTest : public ::testing::TestWithParam<Edge> {};

TEST_P(JsonEdgeTest, ReadWithTheirValues)
{
    QString error;
    const auto objects = qbx::ObjectsFromJson(GetParam().json, &error);
    ASSERT_TRUE(objects) << error.toStdString();
    ASSERT_EQ(objects->size(), 1u);
    const C3dShape& s = *objects->front()->m_pShape;
    EXPECT_STREQ(s.m_szName, GetParam().name);
    const std::array<std::int32_t, 6> numbers = {s.m_nType, s.m_nX, s.m_nY, s.m_nZ, s.m_nColourMode, s.m_nColour};
    EXPECT_EQ(numbers, GetParam().numbers);
}

INSTANTIATE_TEST_SUITE_P(
    Documents, JsonEdgeTest,
    ::testing::Values(
        Edge{"plain", one(R"("name":"A","type":1,"x":-2147483648,"y":2147483647,"z":-1,"colourMode":0,"colour":0)"), "A",
             {1, INT32_MIN, INT32_MAX, -1, 0, 0}},
        Edge{"integralFractionsAndExponents", one(R"("name":"A","type":1,"x":-0,"y":1.0,"z":1e2,"colourMode":-0.0,"colour":0)"),
             "A", {1, 0, 1, 100, 0, 0}},
        Edge{"repeatedKeysLastWins", one(R"("name":"A","name":"B","type":1,"x":1,"y":1,"z":1,"colourMode":0,"colour":0,"x":7)"),
             "B", {1, 7, 1, 1, 0, 0}},
        Edge{"byteOrderMark", "\xEF\xBB\xBF" + one(R"("name":"A","type":2,"x":1,"y":1,"z":1,"colourMode":0,"colour":0)"), "A",
             {2, 1, 1, 1, 0, 0}},
        Edge{"polishName", one("\"name\":\"\xC5\x81\xC3\x93" "D\xC5\xB9\",\"type\":3,\"x\":1,\"y\":1,\"z\":1,\"colourMode\":1,\"colour\":5"),
             "\xA3\xD3" "D\x8F", {3, 1, 1, 1, 1, 5}},
        Edge{"escapedName", one(R"("name":"\u0142\"\\","type":1,"x":1,"y":1,"z":1,"colourMode":0,"colour":0)"), "\xB3\"\\",
             {1, 1, 1, 1, 0, 0}},
        Edge{"ignoredSchemaOfAnyForm",
             R"({"schema": {"a": [1, {}]}, "objects": [{"name":"A","type":1,"x":1,"y":1,"z":1,"colourMode":0,"colour":0}]})", "A",
             {1, 1, 1, 1, 0, 0}}),
    testutil::ByLabel());

// A document streamed through buffers of many small sizes, so that each
// name, escape, multi-byte character, number and the byte order mark is
// split at some buffer edge: every size reads it as the whole text does,
// with the same objects or the same refusal.
struct Streamed {
    const char* label;
    QByteArray json;
    bool accepted;
    friend std::ostream& operator<<(std::ostream& os, const Streamed& c) { return os << c.label; }
};

class JsonStreamTest : public ::testing::TestWithParam<Streamed> {};

TEST_P(JsonStreamTest, EveryBufferEdgeReadsAsTheWholeText)
{
    QString wholeError;
    const auto whole = qbx::ObjectsFromJson(GetParam().json, &wholeError);
    ASSERT_EQ(whole.has_value(), GetParam().accepted) << wholeError.toStdString();
    for (const qint64 size : {1, 2, 3, 4, 5, 7, 8, 11, 13, 16, 17, 64 * 1024}) {
        QBuffer device;
        device.setData(GetParam().json);
        ASSERT_TRUE(device.open(QIODevice::ReadOnly));
        QString error;
        const auto streamed = qbx::ObjectsFromJson(device, &error, size);
        ASSERT_EQ(streamed.has_value(), whole.has_value()) << "buffer of " << size;
        if (streamed)
            EXPECT_EQ(testutil::dumpJson(*streamed, 3u), testutil::dumpJson(*whole, 3u)) << "buffer of " << size;
        else
            EXPECT_EQ(error, wholeError) << "buffer of " << size;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonStreamTest,
    ::testing::Values(
        Streamed{"namesEscapesAndNumbersAcrossEdges",
                 "\xEF\xBB\xBF{\"schema\": 3, \"objects\": [\n"
                 " {\"name\": \"Ma\xC5\x82" "a \\u015bliczna \\\"g\\\"\", \"type\": 3, \"x\": -2147483648, \"y\": 2147483647,"
                 " \"z\": 1e3, \"colourMode\": 1, \"colour\": 16777215},\n"
                 " {\"name\": \"Kuleczka\", \"type\": 1, \"x\": 12345, \"y\": -6789, \"z\": 42, \"colourMode\": 0, \"colour\": 2}\n"
                 "]}\n",
                 true},
        Streamed{"cutShort", "{\"objects\": [{\"name\": \"Kulecz", false},
        Streamed{"refusedObjectAfterAGoodOne",
                 "{\"objects\": [{\"name\": \"A\", \"type\": 1, \"x\": 1, \"y\": 1, \"z\": 1, \"colourMode\": 0, \"colour\": 0},"
                 " {\"name\": \"B\", \"type\": 1, \"x\": 1.5, \"y\": 1, \"z\": 1, \"colourMode\": 0, \"colour\": 0}]}",
                 false},
        // Regression: the NUL was taken for the end of the text, and the
        // scene built from a document that goes on after it.
        Streamed{"bytesAfterANulAfterTheDocument", QByteArray("{\"objects\": []}\0x", 17), false}),
    testutil::ByLabel());

TEST(WriteJsonTest, PiecesMakeTheWholeDump)
{
    qbx::ObjectList objects;
    for (int i = 0; i < 3000; ++i)
        objects.push_back(std::make_unique<C3dObject>(std::make_unique<C3dShape>(i, -i, i * 1000, 1 + i % 3)));
    std::string joined;
    int pieces = 0;
    qbx::WriteJson(objects, 3u, [&](std::string_view piece) {
        joined += piece;
        ++pieces;
    });
    EXPECT_GT(pieces, 1);
    QString error;
    const auto read = qbx::ObjectsFromJson(QByteArray::fromStdString(joined), &error);
    ASSERT_TRUE(read) << error.toStdString();
    ASSERT_EQ(read->size(), objects.size());
    EXPECT_EQ(read->back()->m_pShape->m_nZ, 2999 * 1000);
    EXPECT_STREQ(read->back()->m_pShape->m_szName, objects.back()->m_pShape->m_szName);
}

} // namespace
