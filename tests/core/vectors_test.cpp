#include "testutil.h"
#include "document/scenejson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

namespace {

using Cause = fw::ArchiveError::Cause;

enum class Form {
    Canonical, // what tesk itself writes: building from the JSON gives the same bytes
    Foreign,   // loads, but tesk would write it differently (schema 1, wide name)
    Refused,
};

struct Vector {
    const char* label; // file name without extension
    Form form;
    std::optional<Cause> refusal;
    friend std::ostream& operator<<(std::ostream& os, const Vector& c) { return os << c.label; }
};

const Vector kVectors[] = {
    {"borg-type-7", Form::Canonical, std::nullopt},
    {"class-recorded-twice", Form::Foreign, std::nullopt},
    {"class-schema1-then-3", Form::Foreign, std::nullopt},
    {"count-says-more", Form::Refused, Cause::EndOfFile},
    {"empty", Form::Canonical, std::nullopt},
    {"name-255", Form::Canonical, std::nullopt},
    {"one-sphere", Form::Canonical, std::nullopt},
    {"schema1-two", Form::Foreign, std::nullopt},
    {"schema2-refused", Form::Refused, Cause::BadSchema},
    {"three-objects", Form::Canonical, std::nullopt},
    {"truncated-in-last-record", Form::Refused, Cause::EndOfFile},
    {"unknown-class", Form::Refused, Cause::BadClass},
    {"wide-name", Form::Foreign, std::nullopt},
};

std::string vectorBytes(const Vector& v) { return testutil::readBytes(testutil::dataPath("qbx-vectors/" + std::string(v.label) + ".qbx")); }

QByteArray expectedText(const Vector& v)
{
    return QByteArray::fromStdString(testutil::readBytes(testutil::dataPath("qbx-vectors/" + std::string(v.label) + ".json")));
}

QJsonObject expectedJson(const Vector& v) { return QJsonDocument::fromJson(expectedText(v)).object(); }

// The dump of `bytes` as parsed JSON, or {"error": true} when refused.
QJsonObject dump(std::string_view bytes, std::optional<Cause>* refusal = nullptr)
{
    CTeskDoc doc;
    fw::Archive ar = fw::Archive::forLoading(std::span<const char>(bytes.data(), bytes.size()));
    try {
        doc.Serialize(ar);
    } catch (const fw::ArchiveError& e) {
        if (refusal)
            *refusal = e.cause();
        return QJsonObject{{QStringLiteral("error"), true}};
    }
    const std::string json = testutil::dumpJson(doc.GetObjects(), ar.StoredSchema(&C3dObject::classInfo));
    QJsonParseError error;
    const QJsonDocument parsed = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json;
    return parsed.object();
}

std::string jsonText(const QJsonObject& json) { return QJsonDocument(json).toJson().toStdString(); }

class VectorTest : public ::testing::TestWithParam<Vector> {};
// The vectors that load.
class SceneVectorTest : public ::testing::TestWithParam<Vector> {};

std::vector<Vector> sceneVectors()
{
    std::vector<Vector> scenes;
    std::copy_if(std::begin(kVectors), std::end(kVectors), std::back_inserter(scenes),
                 [](const Vector& v) { return v.form != Form::Refused; });
    return scenes;
}

TEST_P(VectorTest, DumpMatchesTheExpectedJson)
{
    std::optional<Cause> refusal;
    const QJsonObject dumped = dump(vectorBytes(GetParam()), &refusal);
    EXPECT_EQ(jsonText(dumped), jsonText(expectedJson(GetParam())));
    EXPECT_EQ(refusal, GetParam().refusal);
}

TEST_P(SceneVectorTest, BuildFromTheJsonGivesTheSameScene)
{
    QString error;
    auto objects = qbx::ObjectsFromJson(expectedText(GetParam()), &error);
    ASSERT_TRUE(objects) << error.toStdString();
    CTeskDoc doc;
    doc.ReplaceObjects(std::move(*objects));
    const std::string built = testutil::save(doc);

    if (GetParam().form == Form::Canonical) {
        EXPECT_EQ(built, vectorBytes(GetParam()));
    } else {
        QJsonObject rewritten = expectedJson(GetParam());
        rewritten[QStringLiteral("schema")] = 3;
        EXPECT_EQ(jsonText(dump(built)), jsonText(rewritten));
    }
}

TEST_P(SceneVectorTest, EveryTruncationIsRefusedAndLeavesTheSceneAsItWas)
{
    const std::string bytes = vectorBytes(GetParam());
    CTeskDoc doc;
    C3dObject* kept = doc.AddObject(SHAPE_STAR);
    doc.SetModifiedFlag(false);
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_EQ(testutil::load(doc, std::string_view(bytes).substr(0, length)), Cause::EndOfFile) << length;
        ASSERT_EQ(doc.GetObjects().size(), 1u) << length;
        EXPECT_EQ(doc.GetObjects()[0].get(), kept);
        EXPECT_FALSE(doc.IsModified());
    }
}

INSTANTIATE_TEST_SUITE_P(Vectors, VectorTest, ::testing::ValuesIn(kVectors), testutil::ByLabel());
INSTANTIATE_TEST_SUITE_P(Vectors, SceneVectorTest, ::testing::ValuesIn(sceneVectors()), testutil::ByLabel());

} // namespace
