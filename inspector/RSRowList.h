#pragma once
// An ordered list of rows in which finding a row's place, inserting and removing cost O(log n): a
// balanced tree of places (each node knows the size of its subtree and its parent), so that a row added
// or deleted one at a time costs no search through the list and no move of the rows behind it. Reading
// by place walks the tree; after many reads without a change (painting, a walk over every row) the list
// also keeps a flat copy, and rows appended at the end keep that copy valid. Each row remembers its node
// in one of two slots, so a grid keeps two lists (tree order and shown rows) over the same rows.
#include <QList>
#include <cstdint>
#include <vector>

class TRSItemProp;

class TRSRowList {
public:
    using const_iterator = std::vector<TRSItemProp*>::const_iterator;

    // slot: 0 or 1, the row's own record of its node in this list.
    explicit TRSRowList(int slot) : m_slot(slot) {}
    TRSRowList(const TRSRowList&) = delete;
    TRSRowList& operator=(const TRSRowList&) = delete;

    qsizetype size() const { return m_flatOnly ? qsizetype(m_flat.size()) : qsizetype(Size(m_root)); }
    bool isEmpty() const { return size() == 0; }
    // index must be within 0..size() - 1.
    TRSItemProp* at(qsizetype index) const;
    // The row's place, -1 when it is not in the list.
    qsizetype indexOf(const TRSItemProp* row) const;
    bool contains(const TRSItemProp* row) const { return indexOf(row) >= 0; }

    void append(TRSItemProp* row) { insert(size(), row); }
    void insert(qsizetype index, TRSItemProp* row);
    // Inserts rows, in their order, from index on.
    void insert(qsizetype index, const QList<TRSItemProp*>& rows);
    void remove(qsizetype index, qsizetype count);
    void removeAt(qsizetype index) { remove(index, 1); }
    bool removeOne(const TRSItemProp* row);
    void clear();
    void reserve(qsizetype count) { m_flat.reserve(size_t(count)); }

    // Walks the rows in order (from a flat copy made for the walk).
    const_iterator begin() const;
    const_iterator end() const;

private:
    struct TNode {
        TRSItemProp* row = nullptr;
        int32_t left = -1, right = -1, parent = -1;
        int32_t size = 0;
    };

    int32_t Size(int32_t n) const { return n < 0 ? 0 : m_nodes[size_t(n)].size; }
    int32_t NewNode(TRSItemProp* row);
    void Pull(int32_t n);
    int32_t Merge(int32_t a, int32_t b);
    // Splits t into its first k places and the rest.
    void Split(int32_t t, int32_t k, int32_t& a, int32_t& b);
    int32_t Build(const TRSItemProp* const* rows, int32_t count);
    void FreeTree(int32_t n);
    void CollectFlat() const;
    void BuildTree() const; // from the flat copy, when only that exists
    void Changed() const;
    uint32_t Random() const;
    int32_t& SlotOf(const TRSItemProp* row) const;

    int m_slot;
    mutable std::vector<TNode> m_nodes;
    mutable std::vector<int32_t> m_free;
    mutable int32_t m_root = -1;
    mutable std::vector<TRSItemProp*> m_flat;
    mutable bool m_flatValid = true; // the flat copy matches the list
    mutable bool m_flatOnly = true;  // the tree is not built (the list was only appended to so far)
    mutable qsizetype m_reads = 0;   // reads through the tree since the last change
    mutable uint32_t m_seed = 0x9e3779b9u;
};
