#pragma once
// An ordered pointer container and its first-in, first-out form. The regular-expression matcher uses the
// queue as a double-ended work list: Push appends, Insert(0, item) puts an item in front.
#include <QList>
#include <QObject>

class TQOrderedList : public QObject {
    Q_OBJECT

public:
    using Item = void*;

    TQOrderedList() = default;
    ~TQOrderedList() override = default;

    // Replaces the items by those of another list, in order; any other source (or none) raises
    // EConvertError "Error assigning %s to %s".
    virtual void Assign(const QObject* source);
    virtual Item Pop() = 0;
    virtual void Push(Item item) = 0;
    virtual Item Peek() const = 0;
    bool IsEmpty() const { return m_items.isEmpty(); }

    int Count() const { return int(m_items.size()); }
    Item Get(int index) const;
    int Add(Item item);
    void Insert(int index, Item item);
    void Delete(int index);
    void Clear() { m_items.clear(); }

protected:
    [[noreturn]] static void RaiseEmpty();
    QList<Item> m_items;
};

class TQQueue : public TQOrderedList {
    Q_OBJECT

public:
    TQQueue() = default;
    // Returns and removes the first item; an empty queue raises EListError "List is empty".
    Item Pop() override;
    void Push(Item item) override { Add(item); }
    Item Peek() const override;
};
