#pragma once
// TCollection / TCollectionItem: an owned, ordered list of QObject items that carry published properties.
#include <QList>
#include <QObject>
#include <functional>
#include <vector>

class TCollection;

enum class TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

class TCollectionItem : public QObject {
    Q_OBJECT

public:
    // Adds the item to the collection (when given).
    Q_INVOKABLE explicit TCollectionItem(TCollection* collection = nullptr);
    // Removes the item from its collection.
    ~TCollectionItem() override;
    TCollectionItem(const TCollectionItem&) = delete;
    TCollectionItem& operator=(const TCollectionItem&) = delete;

    TCollection* Collection() const { return m_collection; }
    // Moves the item into another collection (or none).
    void SetCollection(TCollection* collection);
    int Index() const;
    // Moves the item to a new position; an index outside the collection raises the list index error.
    virtual void SetIndex(int value);
    int ID() const { return m_id; }
    virtual QString DisplayName() const;

protected:
    // Tells the collection that this item changed (all items when allItems).
    void Changed(bool allItems);

private:
    friend class TCollection;
    TCollection* m_collection = nullptr;
    int m_id = 0;
    int m_index = -1; // the item's place, valid while below its collection's count of valid places
};

class TCollection : public QObject {
    Q_OBJECT

public:
    using ItemFactory = std::function<TCollectionItem*(TCollection*)>;

    // The item class must have a Q_INVOKABLE constructor taking (TCollection*) unless a factory is given.
    explicit TCollection(const QMetaObject* itemClass, QObject* owner = nullptr, ItemFactory factory = {});
    ~TCollection() override;
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    const QMetaObject* ItemClass() const { return m_itemClass; }
    QObject* Owner() const { return m_owner; }
    int Count() const { return int(m_items.size()); }
    TCollectionItem* Items(int index) const;
    template <class T> T* ItemAs(int index) const { return qobject_cast<T*>(Items(index)); }

    TCollectionItem* Add();
    TCollectionItem* Insert(int index);
    void Delete(int index);
    void Clear();
    TCollectionItem* FindItemID(int id) const;
    void Exchange(int a, int b);

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }

signals:
    // Emitted outside BeginUpdate/EndUpdate when an item (or, with nullptr, the whole collection) changed.
    void changed(TCollectionItem* item);

protected:
    virtual void Notify(TCollectionItem* item, TCollectionNotification action);
    // Called with nullptr for a change of the whole collection.
    virtual void Update(TCollectionItem* item);
    void Changed();

private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem* item);
    void RemoveItem(TCollectionItem* item);
    void MoveItem(int from, int to);
    // The places from the first stale one on are counted again (after items were removed or moved).
    void Renumber() const;

    const QMetaObject* m_itemClass;
    QObject* m_owner;
    ItemFactory m_factory;
    QList<TCollectionItem*> m_items;
    int m_updateCount = 0;
    int m_nextId = 0;
    // Items before this place know their index; those after it learn it again when asked. Kept so that
    // an item's index, and removing items from the end, cost no search through the list.
    mutable int m_validIndexes = 0;
    // The old places of the items removed since the last renumbering, in order: an item behind them
    // stands as many places further up as there are removals below its old place. So removing items one
    // at a time costs no renumbering of every item behind each one.
    mutable std::vector<int> m_removedAt;
};
