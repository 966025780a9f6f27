#pragma once
// The items of a list view as data: each item has a caption, image, state and overlay indexes, and
// sub-items (texts in further columns) with an image index each. TListItems belongs to its list view.
#include "classlib/Strings.h"
#include <QList>
#include <QObject>
#include <memory>
#include <vector>

class TListItems;

class TListItem : public QObject {
    Q_OBJECT

public:
    explicit TListItem(TListItems* owner);

    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value) { m_caption = value; }
    int ImageIndex() const { return m_imageIndex; }
    void SetImageIndex(int value) { m_imageIndex = value; }
    int StateIndex() const { return m_stateIndex; }
    void SetStateIndex(int value) { m_stateIndex = value; }
    int OverlayIndex() const { return m_overlayIndex; }
    void SetOverlayIndex(int value) { m_overlayIndex = value; }
    // Sub-item images follow the sub-items: a new sub-item has image -1, a deleted one takes its image along.
    TStrings* SubItems() const { return m_subItems.get(); }
    int SubItemImages(int index) const;
    void SetSubItemImages(int index, int value);
    TListItems* Owner() const { return m_owner; }
    int Index() const;

private:
    void SubItemsChanged();
    TListItems* m_owner;
    QString m_caption;
    int m_imageIndex = -1;
    int m_stateIndex = -1;
    int m_overlayIndex = -1;
    std::unique_ptr<TStringList> m_subItems;
    QStringList m_lastSubItems;
    QList<int> m_subItemImages;
};

class TListItems : public QObject {
    Q_OBJECT

public:
    // owner: the list view.
    explicit TListItems(QObject* owner = nullptr) : QObject(owner) {}
    ~TListItems() override;

    int Count() const { return int(m_items.size()); }
    // The list index error for an index outside the list.
    TListItem* Item(int index) const;
    TListItem* Add();
    void Delete(int index);
    void Clear();
    int IndexOf(const TListItem* item) const;
    // The list view that owns the items.
    QObject* Owner() const { return parent(); }

private:
    std::vector<std::unique_ptr<TListItem>> m_items;
};
