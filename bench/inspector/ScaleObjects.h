#pragma once
// The object the scaling benchmark inspects: a title and a collection whose items have nine published
// properties each; the inspector filters one of them ("Secret") away, so each item gives nine rows.
#include "classlib/Collection.h"
#include <QObject>
#include <memory>

class TScaleItem : public TCollectionItem {
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER m_caption)
    Q_PROPERTY(qint32 Left MEMBER m_left)
    Q_PROPERTY(qint32 Top MEMBER m_top)
    Q_PROPERTY(qint32 Width MEMBER m_width)
    Q_PROPERTY(qint32 Height MEMBER m_height)
    Q_PROPERTY(bool Shown MEMBER m_shown)
    Q_PROPERTY(double Ratio MEMBER m_ratio)
    Q_PROPERTY(QString Note MEMBER m_note)
    Q_PROPERTY(QString Secret MEMBER m_secret)

public:
    Q_INVOKABLE explicit TScaleItem(TCollection* collection = nullptr) : TCollectionItem(collection) {}
    void Fill(int i) {
        m_caption = QStringLiteral("Item %1").arg(i);
        m_left = i;
        m_top = 2 * i;
        m_note = QStringLiteral("note %1").arg(i % 97);
    }

private:
    QString m_caption;
    qint32 m_left = 0;
    qint32 m_top = 0;
    qint32 m_width = 64;
    qint32 m_height = 18;
    bool m_shown = true;
    double m_ratio = 0.5;
    QString m_note;
    QString m_secret = QStringLiteral("x");
};

class TScaleRoot : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Title MEMBER m_title)
    Q_PROPERTY(TCollection* Items READ Items)

public:
    explicit TScaleRoot(int count) : m_items(std::make_unique<TCollection>(&TScaleItem::staticMetaObject)) {
        m_items->BeginUpdate();
        for (int i = 0; i < count; ++i)
            static_cast<TScaleItem*>(m_items->Add())->Fill(i);
        m_items->EndUpdate();
    }
    TCollection* Items() const { return m_items.get(); }

private:
    QString m_title = QStringLiteral("scale");
    std::unique_ptr<TCollection> m_items;
};
