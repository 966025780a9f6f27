#include "classlib/ClassRegistry.h"
#include "CollectionTestItems.h"
#include "TypInfoTestClasses.h"
#include "classlib/SysUtils.h"
#include <gtest/gtest.h>

TEST(ClassRegistry, FindsRegisteredClassesByNameAndCreatesThemForTheirOwner) {
    RegisterClass<TTestItem>();
    RegisterClass<TTestItem>(); // again: no error
    RegisterClass<TTestObject>();
    EXPECT_EQ(GetClass(QStringLiteral("ttestitem")), &TTestItem::staticMetaObject);
    EXPECT_EQ(FindClass(QStringLiteral("TTestObject")), &TTestObject::staticMetaObject);
    EXPECT_EQ(GetClass(QStringLiteral("TTestBase")), nullptr);
    try {
        FindClass(QStringLiteral("TTestBase"));
        FAIL();
    } catch (const EClassNotFound& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Class TTestBase not found"));
    }

    // A collection item is created inside the collection given as owner.
    TRecordingCollection items;
    QObject* item = CreateRegisteredObject(FindClass(QStringLiteral("TTestItem")), &items);
    ASSERT_EQ(items.Count(), 1);
    EXPECT_EQ(items.Items(0), item);

    TComponent owner;
    QObject* component = CreateRegisteredObject(&TTestObject::staticMetaObject, &owner);
    ASSERT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(owner.Components(0), component);
    EXPECT_THROW(CreateRegisteredObject(&TTestBase::staticMetaObject, &owner), EClassNotFound);
    // The owner must fit the constructor.
    EXPECT_THROW(CreateRegisteredObject(&TTestItem::staticMetaObject, &owner), EFilerError);

    UnRegisterClass(&TTestObject::staticMetaObject);
    EXPECT_EQ(GetClass(QStringLiteral("TTestObject")), nullptr);
}

TEST(ClassRegistry, AFactoryReplacesTheConstructor) {
    int calls = 0;
    RegisterClass<TTestBase>([&](QObject* owner) {
        ++calls;
        return new TTestBase(qobject_cast<TComponent*>(owner));
    });
    TComponent owner;
    CreateRegisteredObject(&TTestBase::staticMetaObject, &owner);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(owner.ComponentCount(), 1);
    UnRegisterClass(&TTestBase::staticMetaObject);
}
