#pragma once
// Collection classes for the collection tests: an item with a published property and a collection that
// records its notifications.
#include "classlib/Collection.h"
#include <QStringList>

class TTestItem : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER Caption)

public:
    Q_INVOKABLE explicit TTestItem(TCollection* collection = nullptr) : TCollectionItem(collection) {}
    QString DisplayName() const override { return Caption; }
    QString Caption;
};

class TRecordingCollection : public TCollection {
    Q_OBJECT

public:
    TRecordingCollection() : TCollection(&TTestItem::staticMetaObject) {}
    QStringList notifications;

protected:
    void Notify(TCollectionItem* item, TCollectionNotification action) override {
        static const char* const names[] = {"added", "extracting", "deleting"};
        notifications << QString::fromLatin1(names[int(action)]) + u' ' + QString::number(item->ID());
    }
};
