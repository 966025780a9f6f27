#include "classlib/Component.h"
#include "classlib/SysUtils.h"
#include <QPointer>
#include <gtest/gtest.h>

namespace {

QString raisedMessage(const std::function<void()>& call) {
    try {
        call();
    } catch (const EComponentError& e) {
        return e.Message();
    }
    return QString();
}

} // namespace

TEST(Component, NameMustBeAnIdentifierAndANameRefusedChangesNothing) {
    TComponent owner;
    auto* c = new TComponent(&owner);
    c->SetName(QStringLiteral("Button1"));
    EXPECT_EQ(raisedMessage([&] { c->SetName(QStringLiteral("1Button")); }),
              QStringLiteral("'1Button' is not a valid component name"));
    EXPECT_FALSE(raisedMessage([&] { c->SetName(QStringLiteral("a b")); }).isEmpty());
    EXPECT_FALSE(raisedMessage([&] { c->SetName(QStringLiteral("Né")); }).isEmpty());
    EXPECT_EQ(c->Name(), QStringLiteral("Button1"));
    EXPECT_EQ(c->objectName(), QStringLiteral("Button1"));
    c->SetName(QString()); // an empty name is allowed
    EXPECT_TRUE(c->Name().isEmpty());
    c->SetName(QStringLiteral("_x9"));
    EXPECT_EQ(c->Name(), QStringLiteral("_x9"));
}

TEST(Component, NamesAreUniqueAmongTheOwnersComponentsIgnoringCase) {
    TComponent owner;
    auto* a = new TComponent(&owner);
    auto* b = new TComponent(&owner);
    a->SetName(QStringLiteral("Label"));
    b->SetName(QStringLiteral("Edit"));
    EXPECT_EQ(raisedMessage([&] { b->SetName(QStringLiteral("LABEL")); }),
              QStringLiteral("A component named LABEL already exists"));
    EXPECT_EQ(b->Name(), QStringLiteral("Edit"));
    EXPECT_EQ(owner.FindComponent(QStringLiteral("label")), a);
    a->SetName(QStringLiteral("LABEL")); // its own name in another case
    EXPECT_EQ(a->Name(), QStringLiteral("LABEL"));

    TComponent otherOwner;
    auto* c = new TComponent(&otherOwner);
    c->SetName(QStringLiteral("Label")); // another owner: no clash
    EXPECT_EQ(c->Name(), QStringLiteral("Label"));
}

TEST(Component, OwnerFreesWhatItOwnsAndKeepsItsListCurrent) {
    QPointer<TComponent> a, b, grandChild;
    {
        TComponent owner;
        a = new TComponent(&owner);
        b = new TComponent(a);
        grandChild = new TComponent(b);
        auto* c = new TComponent(&owner);
        ASSERT_EQ(owner.ComponentCount(), 2);
        delete c; // freed before its owner: leaves the owner's list
        ASSERT_EQ(owner.ComponentCount(), 1);
        EXPECT_EQ(owner.Components(0), a.data());
        EXPECT_THROW(owner.Components(1), EListError);
    }
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(b.isNull());
    EXPECT_TRUE(grandChild.isNull());
}

TEST(Component, DestroyComponentsFreesOnlyOwnedComponents) {
    TComponent owner;
    auto* plain = new QObject(&owner); // a QObject child, not a component
    QPointer<TComponent> c = new TComponent(&owner);
    owner.DestroyComponents();
    EXPECT_TRUE(c.isNull());
    EXPECT_EQ(owner.ComponentCount(), 0);
    EXPECT_EQ(plain->parent(), &owner);
}
