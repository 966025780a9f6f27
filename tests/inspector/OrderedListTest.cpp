#include "classlib/SysUtils.h"
#include "inspector/QOrderedList.h"
#include <gtest/gtest.h>

namespace {

TQOrderedList::Item P(std::intptr_t v) {
    return reinterpret_cast<TQOrderedList::Item>(v);
}

std::intptr_t V(TQOrderedList::Item item) {
    return reinterpret_cast<std::intptr_t>(item);
}

} // namespace

TEST(QQueue, FrontInsertsPeekAndIndexErrors) {
    TQQueue q;
    q.Push(P(1));
    EXPECT_EQ(V(q.Peek()), 1); // Peek leaves the only item in place
    EXPECT_EQ(q.Count(), 1);
    EXPECT_FALSE(q.IsEmpty());
    q.Push(P(2));
    q.Insert(0, P(9)); // the matcher's way of putting work in front
    EXPECT_EQ(V(q.Pop()), 9);
    EXPECT_EQ(V(q.Pop()), 1);
    q.Insert(1, P(3)); // at the end is allowed
    EXPECT_EQ(V(q.Get(1)), 3);
    try {
        q.Insert(5, P(4));
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (5)");
    }
    EXPECT_THROW(q.Insert(-1, P(4)), EListError);
    EXPECT_THROW(q.Get(2), EListError);
    EXPECT_THROW(q.Delete(2), EListError);
    EXPECT_EQ(q.Count(), 2); // the failures changed nothing
    q.Delete(0);
    EXPECT_EQ(V(q.Pop()), 3);
    EXPECT_THROW(q.Peek(), EListError);
    // Null items are items like any other.
    q.Push(nullptr);
    EXPECT_FALSE(q.IsEmpty());
    EXPECT_EQ(q.Pop(), nullptr);
    EXPECT_TRUE(q.IsEmpty());
}

TEST(QQueue, AssignCopiesWithoutSharing) {
    TQQueue a;
    TQQueue b;
    for (std::intptr_t i = 1; i <= 3; ++i)
        a.Push(P(i));
    b.Push(P(99));
    b.Assign(&a);
    a.Pop();
    EXPECT_EQ(b.Count(), 3); // its own items
    EXPECT_EQ(V(b.Peek()), 1);
    b.Assign(&b); // itself: unchanged
    EXPECT_EQ(b.Count(), 3);
    try {
        QObject other;
        b.Assign(&other);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Error assigning QObject to TQQueue");
    }
    EXPECT_EQ(b.Count(), 3);
}
