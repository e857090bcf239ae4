// Loading must never allocate by a count read from the file, and must
// refuse rather than abort when memory runs out. This binary replaces the
// global operator new to see the largest single allocation and to fail
// large ones, which is why it stands apart from the other core tests.

#include "testutil.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

namespace {
std::atomic<std::size_t> g_largest{0};
// Allocations of this size or more fail.
std::atomic<std::size_t> g_failFrom{SIZE_MAX};
}

void* operator new(std::size_t size)
{
    std::size_t seen = g_largest.load();
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
    if (size >= g_failFrom.load())
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

std::string u16(std::uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)) + u16(static_cast<std::uint16_t>(v >> 16)); }

struct HugeCase {
    const char* label;
    std::string bytes;
    friend std::ostream& operator<<(std::ostream& os, const HugeCase& c) { return os << c.label; }
};

class HugeCountTest : public ::testing::TestWithParam<HugeCase> {};

TEST_P(HugeCountTest, FailsAtTheEndOfTheDataWithoutAllocatingForTheCount)
{
    CTeskDoc doc;
    g_largest = 0;
    EXPECT_EQ(testutil::load(doc, GetParam().bytes), fw::ArchiveError::Cause::EndOfFile);
    EXPECT_LT(g_largest.load(), 4096u);
}

const std::string kRecord = u16(0xFFFF) + u16(3) + u16(9) + "C3dObject" + "\x01N" + std::string(24, '\0');

INSTANTIATE_TEST_SUITE_P(
    Inputs, HugeCountTest,
    ::testing::Values(HugeCase{"count", u16(0xFFFF) + u32(0xFFFFFFFF) + kRecord + kRecord.substr(0, 3)},
                      HugeCase{"narrowName", u16(1) + kRecord.substr(0, 15) + "\xFF" + u16(0xFFFF) + u32(0xFFFFFFF0) + "abc"},
                      HugeCase{"wideName", u16(1) + kRecord.substr(0, 15) + "\xFF" + u16(0xFFFE) + "\xFF" + u16(0xFFFF) +
                                               u32(0x7FFFFFFF) + "abc"},
                      HugeCase{"eightByteName", u16(1) + kRecord.substr(0, 15) + "\xFF" + u16(0xFFFF) + u32(0xFFFFFFFF) +
                                                    u32(0xFFFFFFFF) + u32(0x7FFFFFFF) + "abc"}),
    testutil::ByLabel());

// Regression: an allocation failure while loading a big scene ended the
// process instead of refusing the file.
TEST(OutOfMemoryTest, AllocationFailureWhileOpeningIsARefusalThatKeepsTheScene)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.qbx"));
    CTeskDoc big;
    for (int i = 0; i < 100000; ++i)
        big.AddObject(SHAPE_SPHERE);
    testutil::writeBytes(path.toStdString(), testutil::save(big));

    CTeskDoc doc;
    C3dObject* kept = doc.AddObject(SHAPE_CUBE);
    fw::FileError error;
    g_failFrom = 256 * 1024; // the list of 100000 pointers needs more
    const bool opened = doc.OnOpenDocument(path, &error);
    g_failFrom = SIZE_MAX;
    EXPECT_FALSE(opened);
    EXPECT_EQ(error.reason.toStdString(), "out of memory");
    EXPECT_EQ(error.kind, fw::FileError::Kind::OutOfMemory);
    ASSERT_EQ(doc.GetObjects().size(), 1u);
    EXPECT_EQ(doc.GetObjects()[0].get(), kept);
    EXPECT_TRUE(doc.GetPathName().isEmpty());
}

} // namespace

// QTemporaryDir wants an application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
