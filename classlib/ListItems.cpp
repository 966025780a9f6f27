#include "classlib/ListItems.h"
#include "classlib/SysUtils.h"

TListItem::TListItem(TListItems* owner) : m_owner(owner), m_subItems(std::make_unique<TStringList>()) {
    m_subItems->OnChange = [this](TStrings*) { SubItemsChanged(); };
}

void TListItem::SubItemsChanged() {
    // Keep each image with its sub-item: a single deletion or insertion is recognised as such, any other
    // change only resizes the images.
    const QStringList& now = m_subItems->Lines();
    const qsizetype before = m_lastSubItems.size();
    if (now.size() == before - 1) {
        qsizetype i = 0;
        while (i < now.size() && now.at(i) == m_lastSubItems.at(i))
            ++i;
        if (i < m_subItemImages.size())
            m_subItemImages.removeAt(i);
    } else if (now.size() == before + 1) {
        qsizetype i = 0;
        while (i < before && now.at(i) == m_lastSubItems.at(i))
            ++i;
        m_subItemImages.insert(std::min(i, m_subItemImages.size()), -1);
    }
    while (m_subItemImages.size() < now.size())
        m_subItemImages.append(-1);
    m_subItemImages.resize(now.size());
    m_lastSubItems = now;
}

int TListItem::SubItemImages(int index) const {
    if (index < 0 || index >= m_subItemImages.size())
        RaiseListIndexError(index);
    return m_subItemImages.at(index);
}

void TListItem::SetSubItemImages(int index, int value) {
    if (index < 0 || index >= m_subItemImages.size())
        RaiseListIndexError(index);
    m_subItemImages[index] = value;
}

int TListItem::Index() const {
    return m_owner ? m_owner->IndexOf(this) : -1;
}

TListItems::~TListItems() = default;

TListItem* TListItems::Item(int index) const {
    if (index < 0 || index >= Count())
        RaiseListIndexError(index);
    return m_items[size_t(index)].get();
}

TListItem* TListItems::Add() {
    m_items.push_back(std::make_unique<TListItem>(this));
    return m_items.back().get();
}

void TListItems::Delete(int index) {
    if (index < 0 || index >= Count())
        RaiseListIndexError(index);
    m_items.erase(m_items.begin() + index);
}

void TListItems::Clear() {
    m_items.clear();
}

int TListItems::IndexOf(const TListItem* item) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == item)
            return int(i);
    return -1;
}
