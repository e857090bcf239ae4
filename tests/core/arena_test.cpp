#include "testutil.h"
#include "model/c3dobject.h"

#include <gtest/gtest.h>
#include <new>
#include <thread>
#include <vector>

namespace {

// Enough objects to fill several of the arena's blocks.
constexpr int kCount = 20000;

enum class Order { Forward, Backward, SurvivorsLast };

struct FreeCase {
    const char* label;
    Order order;
    bool madeOnAnotherThread;
    friend std::ostream& operator<<(std::ostream& os, const FreeCase& c) { return os << c.label; }
};

std::vector<std::unique_ptr<C3dObject>> makeObjects(int count = kCount)
{
    std::vector<std::unique_ptr<C3dObject>> objects;
    for (int i = 0; i < count; ++i) {
        auto shape = std::make_unique<C3dShape>(i, -i, 2 * i, 1 + i % 3);
        shape->SetName(std::to_string(i));
        objects.push_back(std::make_unique<C3dObject>(std::move(shape)));
    }
    return objects;
}

class ArenaTest : public ::testing::TestWithParam<FreeCase> {};

TEST_P(ArenaTest, SurvivorsKeepTheirDataAndEmptiedBlocksAreGivenUp)
{
    const std::size_t before = fw::Arena::blocksInUse();
    std::vector<std::unique_ptr<C3dObject>> objects;
    if (GetParam().madeOnAnotherThread)
        std::thread([&objects] { objects = makeObjects(); }).join();
    else
        objects = makeObjects();
    ASSERT_GE(fw::Arena::blocksInUse(), before + 3);

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
    EXPECT_LE(fw::Arena::blocksInUse(), before);
}

INSTANTIATE_TEST_SUITE_P(Orders, ArenaTest,
                         ::testing::Values(FreeCase{"forward", Order::Forward, false},
                                           FreeCase{"backward", Order::Backward, false},
                                           FreeCase{"survivorsLast", Order::SurvivorsLast, false},
                                           FreeCase{"madeOnAnotherThread", Order::SurvivorsLast, true}),
                         testutil::ByLabel());

// Regression: freed slots were never reused, so a scene that lost most of
// its objects and was filled up again took new memory for all of them.
TEST(ArenaTest, FreedSlotsAreReused)
{
    std::vector<std::unique_ptr<C3dObject>> objects = makeObjects();
    const std::size_t held = fw::Arena::blocksInUse();
    for (int i = 0; i < kCount; ++i)
        if (i % 10 != 0)
            objects[i].reset();
    for (std::unique_ptr<C3dObject>& made : makeObjects(kCount - kCount / 10))
        objects.push_back(std::move(made));
    // At most one block more per size, for the last batch of slots taken.
    EXPECT_LE(fw::Arena::blocksInUse(), held + 2);
}

TEST(ArenaTest, RefusesSizesBeyondItsLimit)
{
    EXPECT_THROW(fw::Arena::allocate(fw::Arena::kMaxSize + 1), std::bad_alloc);
}

} // namespace
