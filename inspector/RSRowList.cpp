#include "inspector/RSRowList.h"
#include "inspector/RSItemProp.h"
#include <algorithm>

// The tree is a randomised binary search tree by place: merging puts either root on top with a chance in
// proportion to its size, which keeps the expected depth logarithmic for any order of changes.

int32_t& TRSRowList::SlotOf(const TRSItemProp* row) const {
    return const_cast<TRSItemProp*>(row)->m_listNode[m_slot];
}

uint32_t TRSRowList::Random() const {
    m_seed ^= m_seed << 13;
    m_seed ^= m_seed >> 17;
    m_seed ^= m_seed << 5;
    return m_seed;
}

int32_t TRSRowList::NewNode(TRSItemProp* row) {
    int32_t n;
    if (!m_free.empty()) {
        n = m_free.back();
        m_free.pop_back();
    } else {
        n = int32_t(m_nodes.size());
        m_nodes.emplace_back();
    }
    m_nodes[size_t(n)] = TNode{row, -1, -1, -1, 1};
    SlotOf(row) = n;
    return n;
}

void TRSRowList::Pull(int32_t n) {
    TNode& node = m_nodes[size_t(n)];
    node.size = 1 + Size(node.left) + Size(node.right);
    if (node.left >= 0)
        m_nodes[size_t(node.left)].parent = n;
    if (node.right >= 0)
        m_nodes[size_t(node.right)].parent = n;
}

int32_t TRSRowList::Merge(int32_t a, int32_t b) {
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    const uint32_t sa = uint32_t(Size(a));
    if (Random() % (sa + uint32_t(Size(b))) < sa) {
        m_nodes[size_t(a)].right = Merge(m_nodes[size_t(a)].right, b);
        Pull(a);
        return a;
    }
    m_nodes[size_t(b)].left = Merge(a, m_nodes[size_t(b)].left);
    Pull(b);
    return b;
}

void TRSRowList::Split(int32_t t, int32_t k, int32_t& a, int32_t& b) {
    if (t < 0) {
        a = b = -1;
        return;
    }
    TNode& node = m_nodes[size_t(t)];
    if (Size(node.left) >= k) {
        int32_t rest;
        Split(node.left, k, a, rest);
        m_nodes[size_t(t)].left = rest;
        Pull(t);
        b = t;
    } else {
        int32_t rest;
        Split(node.right, k - Size(node.left) - 1, rest, b);
        m_nodes[size_t(t)].right = rest;
        Pull(t);
        a = t;
    }
    if (a >= 0)
        m_nodes[size_t(a)].parent = -1;
    if (b >= 0)
        m_nodes[size_t(b)].parent = -1;
}

int32_t TRSRowList::Build(const TRSItemProp* const* rows, int32_t count) {
    if (count <= 0)
        return -1;
    const int32_t mid = count / 2;
    const int32_t n = NewNode(const_cast<TRSItemProp*>(rows[mid]));
    const int32_t left = Build(rows, mid);
    const int32_t right = Build(rows + mid + 1, count - mid - 1);
    m_nodes[size_t(n)].left = left;
    m_nodes[size_t(n)].right = right;
    Pull(n);
    return n;
}

void TRSRowList::FreeTree(int32_t n) {
    // Iterative: a removed range may be deep.
    std::vector<int32_t> stack;
    if (n >= 0)
        stack.push_back(n);
    while (!stack.empty()) {
        const int32_t x = stack.back();
        stack.pop_back();
        TNode& node = m_nodes[size_t(x)];
        if (node.left >= 0)
            stack.push_back(node.left);
        if (node.right >= 0)
            stack.push_back(node.right);
        node = TNode{};
        m_free.push_back(x);
    }
}

void TRSRowList::BuildTree() const {
    if (!m_flatOnly)
        return;
    auto* self = const_cast<TRSRowList*>(this);
    self->m_nodes.clear();
    self->m_free.clear();
    self->m_nodes.reserve(m_flat.size());
    m_root = self->Build(m_flat.data(), int32_t(m_flat.size()));
    if (m_root >= 0)
        m_nodes[size_t(m_root)].parent = -1;
    m_flatOnly = false;
}

void TRSRowList::CollectFlat() const {
    if (m_flatValid)
        return;
    m_flat.clear();
    m_flat.reserve(size_t(Size(m_root)));
    // In-order walk with an explicit stack.
    std::vector<int32_t> stack;
    int32_t n = m_root;
    while (n >= 0 || !stack.empty()) {
        while (n >= 0) {
            stack.push_back(n);
            n = m_nodes[size_t(n)].left;
        }
        n = stack.back();
        stack.pop_back();
        m_flat.push_back(m_nodes[size_t(n)].row);
        n = m_nodes[size_t(n)].right;
    }
    m_flatValid = true;
}

void TRSRowList::Changed() const {
    m_flatValid = false;
    m_reads = 0;
}

TRSItemProp* TRSRowList::at(qsizetype index) const {
    if (m_flatValid)
        return m_flat[size_t(index)];
    // A walk over many places is cheaper from a flat copy; a few reads between changes are not.
    if (++m_reads > 64 + Size(m_root) / 16) {
        CollectFlat();
        return m_flat[size_t(index)];
    }
    int32_t n = m_root;
    auto k = int32_t(index);
    for (;;) {
        const TNode& node = m_nodes[size_t(n)];
        const int32_t left = Size(node.left);
        if (k < left) {
            n = node.left;
        } else if (k == left) {
            return node.row;
        } else {
            k -= left + 1;
            n = node.right;
        }
    }
}

qsizetype TRSRowList::indexOf(const TRSItemProp* row) const {
    if (!row)
        return -1;
    BuildTree();
    const int32_t n = SlotOf(row);
    if (n < 0 || size_t(n) >= m_nodes.size() || m_nodes[size_t(n)].row != row)
        return -1;
    qsizetype index = Size(m_nodes[size_t(n)].left);
    for (int32_t x = n, p = m_nodes[size_t(n)].parent; p >= 0; x = p, p = m_nodes[size_t(p)].parent)
        if (m_nodes[size_t(p)].right == x)
            index += Size(m_nodes[size_t(p)].left) + 1;
    return index;
}

void TRSRowList::insert(qsizetype index, TRSItemProp* row) {
    insert(index, QList<TRSItemProp*>{row});
}

void TRSRowList::insert(qsizetype index, const QList<TRSItemProp*>& rows) {
    if (rows.isEmpty())
        return;
    const qsizetype count = size();
    index = std::clamp<qsizetype>(index, 0, count);
    if (m_flatOnly && index == count) {
        m_flat.insert(m_flat.end(), rows.begin(), rows.end());
        return;
    }
    BuildTree();
    const bool atEnd = index == count && m_flatValid;
    int32_t a, b;
    Split(m_root, int32_t(index), a, b);
    const int32_t middle = Build(rows.constData(), int32_t(rows.size()));
    m_root = Merge(Merge(a, middle), b);
    m_nodes[size_t(m_root)].parent = -1;
    if (atEnd) // the flat copy stays valid when rows only come at the end
        m_flat.insert(m_flat.end(), rows.begin(), rows.end());
    else
        Changed();
}

void TRSRowList::remove(qsizetype index, qsizetype count) {
    if (count <= 0)
        return;
    BuildTree();
    int32_t a, rest, middle, b;
    Split(m_root, int32_t(index), a, rest);
    Split(rest, int32_t(count), middle, b);
    FreeTree(middle);
    m_root = Merge(a, b);
    if (m_root >= 0)
        m_nodes[size_t(m_root)].parent = -1;
    if (m_flatValid && index + count == qsizetype(m_flat.size()))
        m_flat.resize(size_t(index)); // removing from the end keeps the flat copy valid
    else
        Changed();
}

bool TRSRowList::removeOne(const TRSItemProp* row) {
    const qsizetype index = indexOf(row);
    if (index < 0)
        return false;
    remove(index, 1);
    return true;
}

void TRSRowList::clear() {
    m_nodes.clear();
    m_free.clear();
    m_root = -1;
    m_flat.clear();
    m_flatValid = true;
    m_flatOnly = true;
    m_reads = 0;
}

TRSRowList::const_iterator TRSRowList::begin() const {
    CollectFlat();
    return m_flat.cbegin();
}

TRSRowList::const_iterator TRSRowList::end() const {
    CollectFlat();
    return m_flat.cend();
}
