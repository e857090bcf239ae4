// Files in tests/data/regressions, each named after a fault it once caused.

#include "testutil.h"

#include <gtest/gtest.h>

namespace {

struct Regression {
    const char* label; // file name without extension
    const char* error; // the refusal, or null when the file loads
    std::string firstName;
    friend std::ostream& operator<<(std::ostream& os, const Regression& c) { return os << c.label; }
};

class RegressionTest : public ::testing::TestWithParam<Regression> {};

TEST_P(RegressionTest, Outcome)
{
    const QString path = QString::fromStdString(testutil::dataPath("regressions/" + std::string(GetParam().label) + ".qbx"));
    CTeskDoc doc;
    fw::FileError error;
    const bool loaded = doc.OnOpenDocument(path, &error);
    if (GetParam().error) {
        EXPECT_FALSE(loaded);
        EXPECT_EQ(error.reason.toStdString(), GetParam().error);
    } else {
        ASSERT_TRUE(loaded) << error.reason.toStdString();
        ASSERT_FALSE(doc.GetObjects().empty());
        EXPECT_EQ(std::string(doc.GetObjects()[0]->m_pShape->m_szName), GetParam().firstName);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegressionTest,
    ::testing::Values(
        // Only the first 256 UTF-16 units were converted: 128 characters.
        Regression{"wide-name-surrogates-cut-short", nullptr, std::string(255, '?')},
        // The class name went into the message raw and split the qbx error line.
        Regression{"class-name-with-newline", "bad class (\"C3d\\x0AObject\")", {}}),
    testutil::ByLabel());

} // namespace
