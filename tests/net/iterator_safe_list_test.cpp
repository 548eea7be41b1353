#include "net/iterator_safe_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Item : IteratorSafeListElement {
    Item(int v, int* destroyed = nullptr) : value(v), destroyedCount(destroyed) {}
    ~Item() override {
        if (destroyedCount) ++*destroyedCount;
    }
    int value;
    int* destroyedCount;
};

// Items 1, 2, 3 in this order, and pointers to them.
struct ThreeItems {
    IteratorSafeList<Item> list;
    Item* items[4] = {};
    ThreeItems() {
        for (int v = 3; v >= 1; --v) {
            auto item = std::make_unique<Item>(v);
            items[v] = item.get();
            list.PushFront(std::move(item));
        }
    }
};

std::vector<int> Values(IteratorSafeList<Item>& list) {
    std::vector<int> values;
    for (auto it = list.Begin(); !it.AtEnd(); it.Next()) values.push_back(it->value);
    return values;
}

TEST(IteratorSafeList, PushFrontAndIterate) {
    ThreeItems three;
    EXPECT_EQ(three.list.Count(), 3u);
    EXPECT_EQ(Values(three.list), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(three.items[2]->IsListed());
}

TEST(IteratorSafeList, RemovingTheCurrentElementMovesItsIteratorsOn) {
    ThreeItems three;
    auto onSecond = three.list.Begin();
    onSecond.Next();
    auto onThird = onSecond;
    onThird.Next();

    std::unique_ptr<Item> second = three.list.Remove(*three.items[2]);
    EXPECT_FALSE(second->IsListed());
    ASSERT_FALSE(onSecond.AtEnd());
    EXPECT_EQ(onSecond->value, 3);
    EXPECT_EQ(onThird->value, 3);

    three.list.Remove(*three.items[3]);
    EXPECT_TRUE(onSecond.AtEnd());
    EXPECT_TRUE(onThird.AtEnd());
    EXPECT_EQ(Values(three.list), (std::vector<int>{1}));
}

TEST(IteratorSafeList, PushFrontGivesIteratorsAtTheEndTheNewElement) {
    IteratorSafeList<Item> list;
    auto iterator = list.Begin();
    EXPECT_TRUE(iterator.AtEnd());
    list.PushFront(std::make_unique<Item>(7));
    ASSERT_FALSE(iterator.AtEnd());
    EXPECT_EQ(iterator->value, 7);
}

TEST(IteratorSafeList, ElementsUnlinkThemselves) {
    ThreeItems three;
    std::unique_ptr<IteratorSafeListElement> first = three.items[1]->Unlink();
    EXPECT_EQ(first.get(), three.items[1]);
    EXPECT_EQ(Values(three.list), (std::vector<int>{2, 3}));
    EXPECT_EQ(first->Unlink(), nullptr);  // in no list: nothing happens

    Item copy = *three.items[2];
    EXPECT_FALSE(copy.IsListed());
    EXPECT_EQ(copy.Unlink(), nullptr);
    EXPECT_EQ(three.list.Count(), 2u);
}

TEST(IteratorSafeList, ClearAndDestructionDestroyEveryElement) {
    int destroyed = 0;
    {
        IteratorSafeList<Item> list;
        for (int v = 0; v < 3; ++v) list.PushFront(std::make_unique<Item>(v, &destroyed));
        auto iterator = list.Begin();
        list.Clear();
        EXPECT_EQ(destroyed, 3);
        EXPECT_EQ(list.Count(), 0u);
        EXPECT_TRUE(iterator.AtEnd());
        list.PushFront(std::make_unique<Item>(9, &destroyed));
    }
    EXPECT_EQ(destroyed, 4);

    auto list = std::make_unique<IteratorSafeList<Item>>();
    list->PushFront(std::make_unique<Item>(1));
    auto survivor = list->Begin();
    list.reset();
    EXPECT_TRUE(survivor.AtEnd());
}

}  // namespace
