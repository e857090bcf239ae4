#include "testutil.h"
#include "model/c3dobject.h"

#include <gtest/gtest.h>
#include <new>
#include <thread>
#include <vector>

namespace {

// Enough objects to fill several of the pool's blocks.
constexpr int kCount = 20000;

enum class Order { Forward, Backward, SurvivorsLast };

struct FreeCase {
    const char* label;
    Order order;
    bool madeOnAnotherThread;
    friend std::ostream& operator<<(std::ostream& os, const FreeCase& c) { return os << c.label; }
};

std::vector<std::unique_ptr<C3dObject>> makeObjects()
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    for (int i = 0; i < kCount; ++i) {
        auto shape = std::make_unique<C3dShape>(i, -i, 2 * i, 1 + i % 3);
        shape->SetName(std::to_string(i));
        objects.push_back(std::make_unique<C3dObject>(std::move(shape)));
    }
    return objects;
}

class ScenePoolTest : public ::testing::TestWithParam<FreeCase> {};

TEST_P(ScenePoolTest, SurvivorsKeepTheirDataAndEmptiedBlocksAreGivenUp)
{
    const std::size_t before = ScenePool::blocksInUse();
    std::vector<std::unique_ptr<C3dObject>> objects;
    if (GetParam().madeOnAnotherThread)
        std::thread([&objects] { objects = makeObjects(); }).join();
    else
        objects = makeObjects();
    ASSERT_GE(ScenePool::blocksInUse(), before + 3);

    const auto survives = [](int i) { return i % 5000 == 1; };
    switch (GetParam().order) {
    case Order::Forward:
        for (int i = 0; i < kCount; ++i)
            if (!survives(i))
                objects[i].reset();
        break;
    case Order::Backward:
    case Order::SurvivorsLast:
        for (int i = kCount - 1; i >= 0; --i)
            if (!survives(i) || GetParam().order == Order::Backward)
                objects[i].reset();
        break;
    }
    for (int i = 0; i < kCount; ++i) {
        if (!objects[i])
            continue;
        EXPECT_EQ(objects[i]->m_pShape->m_nZ, 2 * i);
        EXPECT_EQ(std::string(objects[i]->m_pShape->m_szName), std::to_string(i));
    }
    objects.clear();
    // The block this thread carves from, if any, stays.
    EXPECT_LE(ScenePool::blocksInUse(), before + 1);
}

INSTANTIATE_TEST_SUITE_P(Orders, ScenePoolTest,
                         ::testing::Values(FreeCase{"forward", Order::Forward, false},
                                           FreeCase{"backward", Order::Backward, false},
                                           FreeCase{"survivorsLast", Order::SurvivorsLast, false},
                                           FreeCase{"madeOnAnotherThread", Order::SurvivorsLast, true}),
                         testutil::ByLabel());

// Regression: emptied blocks stayed resident for good (the advice that was
// to let the kernel reclaim them was refused).
TEST(ScenePoolTest, EmptiedBlocksGoBackToTheKernelAfterTheirLifetime)
{
    makeObjects();
    ASSERT_GT(ScenePool::blocksKept(), 0u);
    ScenePool::setKeptBlockLifetime(std::chrono::milliseconds(0));
    // The pool's thread gives them back: wait for it, with time to spare.
    const auto giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ScenePool::blocksKept() > 0 && std::chrono::steady_clock::now() < giveUpAt)
        std::this_thread::yield();
    ScenePool::setKeptBlockLifetime(std::chrono::seconds(10));
    EXPECT_EQ(ScenePool::blocksKept(), 0u);
}

TEST(ScenePoolTest, RefusesSizesBeyondItsLimit)
{
    EXPECT_THROW(ScenePool::allocate(ScenePool::kMaxSize + 1), std::bad_alloc);
}

} // namespace
