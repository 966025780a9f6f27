#pragma once
// Stores and restores a collection whose items are of different classes: each stored item carries its
// class name ("HiddenItemClass") ahead of its published properties, and reading creates every item of its
// own registered class.
#include "inspector/ComponentStream.h"

class TCollection;

class TGSpecialFiler {
public:
    TGSpecialFiler() = default;
    explicit TGSpecialFiler(TWriter* writer) : m_writer(writer) {}
    explicit TGSpecialFiler(TReader* reader) : m_reader(reader) {}
    virtual ~TGSpecialFiler() = default;

    TWriter* Writer() const { return m_writer; }
    TReader* Reader() const { return m_reader; }

    // Raises EStreamError "No TWriter defined for filer" without a writer; a nil collection is an empty list.
    virtual void WriteCollection(const TCollection* collection);
    // Raises EStreamError "No TReader defined for filer" without a reader. The items are read into a list of
    // their own first: an unknown class or a bad stream raises and leaves the collection as it was.
    virtual void ReadCollection(TCollection* collection);
    // The same, each item made in the collection itself before its properties are read (items that take
    // part of their state from where they live, as rows from their tree); a failure leaves the items read
    // so far.
    void ReadCollectionInPlace(TCollection* collection);

private:
    void ReadItems(TCollection* into, const QMetaObject* itemClass);
    TWriter* m_writer = nullptr; // not owned
    TReader* m_reader = nullptr; // not owned
};
