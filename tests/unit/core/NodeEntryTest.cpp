#include <gtest/gtest.h>

#include "fslib/core/NodeEntry.h"

namespace {

NodeEntry* Add(NodeEntry* parent, uint32_t key, const char* name, bool dir, bool deleted) {
    auto* n = new NodeEntry(key, name, dir ? FILE_ATTRIBUTE_DIRECTORY : 0, deleted ? 1 : 0);
    parent->AddChild(n);
    n->parent = parent;
    return n;
}

TEST(NodeEntry, ConstructCopiesNameAndClearsTheRest) {
    char name[] = "file.txt";
    NodeEntry n(42, name, 0, 1);
    name[0] = 'X';
    EXPECT_STREQ(n.name, "file.txt");
    EXPECT_EQ(n.key, 42u);
    EXPECT_EQ(n.isDeleted, 1);
    EXPECT_EQ(n.path, nullptr);
    EXPECT_EQ(n.size, 0u);
    EXPECT_FALSE(n.HasChildren());
    NodeEntry unnamed(1, nullptr, 0, 0);
    EXPECT_EQ(unnamed.name, nullptr);
}

TEST(NodeEntry, ChildrenKeepInsertionOrderAndRemoveUnlinks) {
    NodeEntry root;
    NodeEntry* a = Add(&root, 1, "a", false, false);
    NodeEntry* b = Add(&root, 2, "b", false, false);
    NodeEntry* c = Add(&root, 3, "c", false, false);
    std::vector<uint32_t> keys;
    for (NodeEntry* n : root.Children()) keys.push_back(n->key);
    EXPECT_EQ(keys, (std::vector<uint32_t>{1, 2, 3}));
    root.RemoveChild(b);
    delete b;
    keys.clear();
    for (NodeEntry* n : root.Children()) keys.push_back(n->key);
    EXPECT_EQ(keys, (std::vector<uint32_t>{1, 3}));
    root.RemoveChild(c);
    delete c;
    Add(&root, 4, "d", false, false);
    EXPECT_EQ(root.ChildCount(), 2u);
    EXPECT_EQ(root.FirstChild(), a);
}

TEST(NodeEntry, CountDeletedDescendantsWalksTheWholeSubtreeButNotTheNode) {
    NodeEntry root(0, nullptr, FILE_ATTRIBUTE_DIRECTORY, 0);
    NodeEntry* live = Add(&root, 5, "live", true, false);
    NodeEntry* l2 = Add(live, 6, "l2", true, false);
    NodeEntry* l3 = Add(l2, 7, "l3", true, false);
    Add(l3, 8, "gone.txt", false, true);
    uint32_t count = 0;
    live->CountDeletedDescendants(&count);
    EXPECT_EQ(count, 1u);

    NodeEntry lone(9, "x", 0, 1);
    count = 0;
    lone.CountDeletedDescendants(&count);
    EXPECT_EQ(count, 0u);
}

TEST(NodeEntry, FindNodeByKeyPrefersADeepHitUnderAnEarlierChild) {
    NodeEntry root;
    NodeEntry* first = Add(&root, 10, "first", true, false);
    NodeEntry* mid = Add(first, 11, "mid", true, false);
    NodeEntry* deep = Add(mid, 99, "deep", false, true);
    Add(&root, 99, "later", false, true);
    NodeEntry* found = nullptr;
    EXPECT_EQ(root.FindNodeByKeyRecursive(99, &found, 0), 1);
    EXPECT_EQ(found, deep);
    found = nullptr;
    EXPECT_EQ(root.FindNodeByKeyRecursive(12345, &found, 0), 0);
    EXPECT_EQ(found, nullptr);
}

TEST(NodeEntry, AssignSharesChildrenSoOneSideIsDestroyedAndTheOtherReleased) {
    auto* original = new NodeEntry(0, "root", FILE_ATTRIBUTE_DIRECTORY, 0);
    Add(original, 1, "a", false, true);
    Add(Add(original, 2, "dir", true, false), 3, "b", false, true);
    NodeEntry copy;
    copy.Assign(*original);
    EXPECT_EQ(copy.name, original->name);
    EXPECT_EQ(copy.ChildCount(), 2u);
    original->Release();
    delete original;  // frees nothing shared
    copy.Destroy();   // frees every child and the shared name exactly once (ASan checks)
    EXPECT_FALSE(copy.HasChildren());
    EXPECT_EQ(copy.name, nullptr);
}

TEST(NodeEntry, DestroyHandlesAChainDeeperThanTheStack) {
    NodeEntry root;
    NodeEntry* cur = &root;
    for (uint32_t i = 0; i < 200000; ++i) cur = Add(cur, i + 1, "d", true, false);
    Add(cur, 999999, "leaf", false, true);
    uint32_t count = 0;
    root.CountDeletedDescendants(&count);
    EXPECT_EQ(count, 1u);
    NodeEntry* found = nullptr;
    EXPECT_EQ(root.FindNodeByKeyRecursive(999999, &found), 1);
    root.Destroy();
    EXPECT_FALSE(root.HasChildren());
}

TEST(NodeEntry, WideNameIsTheUtf16FormOfTheName) {
    NodeEntry n(1, "r\xC3\xA9sum\xC3\xA9.txt", 0, 0);
    EXPECT_TRUE(n.WideName().empty());
    n.hasWideName = 1;
    EXPECT_EQ(n.WideName(), u"r\u00e9sum\u00e9.txt");
}

}  // namespace
