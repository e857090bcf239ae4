#include "testutil.h"

#include <gtest/gtest.h>

namespace {

using Cause = fw::ArchiveError::Cause;

std::string u16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)) + u16(static_cast<std::uint16_t>(v >> 16)); }

std::string classRecord(std::string_view name, std::uint16_t schema = 3)
{
    return u16(0xFFFF) + u16(schema) + u16(static_cast<std::uint16_t>(name.size())) + std::string(name);
}
const std::string kClass = classRecord("C3dObject");
// A schema-3 body: name "N", type 1, x 2, y 3, z 4, listed colour 0.
const std::string kBody = std::string("\x01N") + u32(1) + u32(2) + u32(3) + u32(4) + u32(0) + u32(0);

struct LoadCase {
    const char* label;
    std::string bytes;
    std::optional<Cause> refusal;
    std::size_t objects; // when loaded
    friend std::ostream& operator<<(std::ostream& os, const LoadCase& c) { return os << c.label; }
};

class MalformedSceneTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(MalformedSceneTest, LoadsOrIsRefusedForTheRightCause)
{
    CTeskDoc doc;
    EXPECT_EQ(testutil::load(doc, GetParam().bytes), GetParam().refusal);
    EXPECT_EQ(doc.GetObjects().size(), GetParam().refusal ? 0 : GetParam().objects);
}

INSTANTIATE_TEST_SUITE_P(
    Records, MalformedSceneTest,
    ::testing::Values(
        LoadCase{"class name of 64 bytes", u16(1) + classRecord(std::string(64, 'C')) + kBody, Cause::BadClass, 0},
        LoadCase{"unknown class name of 63 bytes", u16(1) + classRecord(std::string(63, 'C')) + kBody, Cause::BadClass, 0},
        LoadCase{"class name cut short", u16(1) + u16(0xFFFF) + u16(3) + u16(9) + "C3dOb", Cause::EndOfFile, 0},
        LoadCase{"class reference to index 0", u16(1) + u16(0x8000) + kBody, Cause::BadIndex, 0},
        LoadCase{"class reference to an object", u16(2) + kClass + kBody + u16(0x8002) + kBody, Cause::BadIndex, 0},
        LoadCase{"class reference to an index not read", u16(2) + kClass + kBody + u16(0x8005) + kBody, Cause::BadIndex, 0},
        LoadCase{"long class reference to an object", u16(2) + kClass + kBody + u16(0x7FFF) + u32(0x80000002) + kBody,
                 Cause::BadIndex, 0},
        LoadCase{"long class reference to the class", u16(2) + kClass + kBody + u16(0x7FFF) + u32(0x80000001) + kBody,
                 std::nullopt, 2},
        LoadCase{"short class reference", u16(3) + kClass + kBody + u16(0x8001) + kBody + u16(0x8001) + kBody,
                 std::nullopt, 3},
        LoadCase{"null object", u16(1) + u16(0x0000), Cause::NullObject, 0},
        LoadCase{"long null object", u16(1) + u16(0x7FFF) + u32(0), Cause::NullObject, 0},
        LoadCase{"object listed twice", u16(2) + kClass + kBody + u16(0x0002), Cause::DuplicateObject, 0},
        LoadCase{"object listed twice by a long reference", u16(2) + kClass + kBody + u16(0x7FFF) + u32(2),
                 Cause::DuplicateObject, 0},
        LoadCase{"object reference to the class record", u16(2) + kClass + kBody + u16(0x0001), Cause::BadIndex, 0},
        LoadCase{"object reference to an index not read", u16(2) + kClass + kBody + u16(0x0007), Cause::BadIndex, 0},
        LoadCase{"schema 2", u16(1) + classRecord("C3dObject", 2) + kBody, Cause::BadSchema, 0},
        LoadCase{"schema 0", u16(1) + classRecord("C3dObject", 0) + kBody, Cause::BadSchema, 0},
        LoadCase{"schema 4", u16(1) + classRecord("C3dObject", 4) + kBody, Cause::BadSchema, 0},
        LoadCase{"huge count in a short file", u16(0xFFFF) + u32(0xFFFFFFFF) + kClass + kBody, Cause::EndOfFile, 0},
        LoadCase{"eight-byte name length", u16(1) + kClass + "\xFF" + u16(0xFFFF) + u32(0xFFFFFFFF) + u32(5) + u32(1),
                 Cause::EndOfFile, 0},
        LoadCase{"wide name longer than the data", u16(1) + kClass + "\xFF" + u16(0xFFFE) + "\x10" + "abcdefghijklmnop",
                 Cause::EndOfFile, 0},
        LoadCase{"bytes after the last record", u16(1) + kClass + kBody + "trailing", std::nullopt, 1}),
    testutil::ByLabel());

struct NameCase {
    const char* label;
    std::string encoded; // the name's length prefix and characters
    std::string stored;  // Windows-1250 bytes in m_szName
    friend std::ostream& operator<<(std::ostream& os, const NameCase& c) { return os << c.label; }
};

std::string wide(std::u16string_view text)
{
    std::string bytes = "\xFF" + u16(0xFFFE);
    bytes += text.size() < 0xFF ? std::string(1, static_cast<char>(text.size()))
                                : "\xFF" + u16(static_cast<std::uint16_t>(text.size()));
    for (const char16_t c : text)
        bytes += u16(c);
    return bytes;
}

class StoredNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(StoredNameTest, LoadsAsWindows1250CutTo255Bytes)
{
    CTeskDoc doc;
    const std::string bytes = u16(1) + kClass + GetParam().encoded + kBody.substr(2);
    ASSERT_EQ(testutil::load(doc, bytes), std::nullopt);
    ASSERT_EQ(doc.GetObjects().size(), 1u);
    EXPECT_EQ(std::string(doc.GetObjects()[0]->m_pShape->m_szName), GetParam().stored);
    EXPECT_EQ(doc.GetObjects()[0]->m_pShape->m_nX, 2) << "the fields after the name are out of step";
}

const std::u16string kSmiles = [] {
    std::u16string text;
    for (int i = 0; i < 300; ++i)
        text += u"\U0001F600";
    return text;
}();

INSTANTIATE_TEST_SUITE_P(
    Names, StoredNameTest,
    ::testing::Values(NameCase{"wide Polish", wide(u"Żółw"), "\xAF\xF3\xB3w"},
                      NameCase{"wide without a form", wide(u"a日本b"), "a??b"},
                      NameCase{"wide surrogate pair", wide(u"x\U0001F600y"), "x?y"},
                      NameCase{"wide lone surrogate", wide(std::u16string(1, char16_t(0xD800)) + u"z"), "?z"},
                      NameCase{"wide 300 units", wide(std::u16string(300, u'w')), std::string(255, 'w')},
                      NameCase{"wide 300 surrogate pairs", wide(kSmiles), std::string(255, '?')},
                      NameCase{"narrow 300 bytes", "\xFF" + u16(300) + std::string(300, 'n'), std::string(255, 'n')},
                      NameCase{"narrow 0xFFFE bytes", "\xFF" + u16(0xFFFF) + u32(0xFFFE) + std::string(0xFFFE, 'm'),
                               std::string(255, 'm')},
                      NameCase{"narrow eight-byte length", "\xFF" + u16(0xFFFF) + u32(0xFFFFFFFF) + u32(5) + u32(0) + "abcde",
                               "abcde"},
                      NameCase{"narrow with NUL", std::string("\x05" "ab\0cd", 6), "ab"},
                      NameCase{"narrow empty", std::string(1, '\0'), ""}),
    testutil::ByLabel());

struct CountCase {
    std::uint32_t count;
    std::string encoded;
};

class CountEncodingTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountEncodingTest, WritesAndReadsBack)
{
    fw::Archive out = fw::Archive::forStoring();
    out.WriteCount(GetParam().count);
    EXPECT_EQ(out.bytes(), GetParam().encoded);
    fw::Archive in = fw::Archive::forLoading(std::span<const char>(out.bytes().data(), out.bytes().size()));
    EXPECT_EQ(in.ReadCount(), GetParam().count);
    EXPECT_EQ(in.Remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Counts, CountEncodingTest,
                         ::testing::Values(CountCase{0, u16(0)}, CountCase{1, u16(1)}, CountCase{0xFFFE, u16(0xFFFE)},
                                           CountCase{0xFFFF, u16(0xFFFF) + u32(0xFFFF)},
                                           CountCase{0x10000, u16(0xFFFF) + u32(0x10000)}));

struct LengthCase {
    std::size_t length;
    std::string prefix;
};

class StringLengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(StringLengthTest, PrefixAndReadBack)
{
    const std::string text(GetParam().length, 't');
    fw::Archive out = fw::Archive::forStoring();
    out.WriteString(text);
    EXPECT_EQ(out.bytes().substr(0, GetParam().prefix.size()), GetParam().prefix);
    EXPECT_EQ(out.bytes().size(), GetParam().prefix.size() + text.size());
    fw::Archive in = fw::Archive::forLoading(std::span<const char>(out.bytes().data(), out.bytes().size()));
    EXPECT_EQ(in.ReadString(text.size()), text);
    EXPECT_EQ(in.Remaining(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, StringLengthTest,
                         ::testing::Values(LengthCase{0, std::string(1, '\0')}, LengthCase{254, "\xFE"},
                                           LengthCase{255, "\xFF" + u16(255)}, LengthCase{0xFFFD, "\xFF" + u16(0xFFFD)},
                                           LengthCase{0xFFFE, "\xFF" + u16(0xFFFF) + u32(0xFFFE)},
                                           LengthCase{0x10000, "\xFF" + u16(0xFFFF) + u32(0x10000)}));

// Regression: names longer than the 13 bytes a record's reservation allows
// for made the buffer grow while storing, holding the old bytes and their
// copy at once, twice the size of a large scene.
TEST(SceneEncodingTest, LongNamesAreStoredWithoutGrowingTheBuffer)
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    for (int i = 0; i < 1000; ++i)
        objects.push_back(testutil::makeObject(std::string(200, 'n'), 1, i, 0, 0, 0, 0));
    CTeskDoc doc;
    doc.ReplaceObjects(std::move(objects));
    const std::string bytes = testutil::save(doc);
    // Sized at the records' rate early on: at most an eighth to spare, not double.
    EXPECT_LE(bytes.capacity(), bytes.size() + bytes.size() / 8);
}

TEST(SceneEncodingTest, SceneOf0xFFFFObjectsUsesTheLongCountAndReadsBack)
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    for (int i = 0; i < 0xFFFF; ++i)
        objects.push_back(testutil::makeObject("o", 1, i, 0, 0, 0, 0));
    CTeskDoc doc;
    doc.ReplaceObjects(std::move(objects));
    const std::string bytes = testutil::save(doc);
    EXPECT_EQ(bytes.substr(0, 6 + kClass.size()), u16(0xFFFF) + u32(0xFFFF) + kClass);
    // Every later record refers to class index 1.
    EXPECT_EQ(bytes.substr(6 + kClass.size() + 26, 2), u16(0x8001));

    CTeskDoc reloaded;
    ASSERT_EQ(testutil::load(reloaded, bytes), std::nullopt);
    ASSERT_EQ(reloaded.GetObjects().size(), 0xFFFFu);
    EXPECT_EQ(reloaded.GetObjects().back()->m_pShape->m_nX, 0xFFFE);
}

} // namespace
