#include "inspector/GSpecialFiler.h"
#include "classlib/ClassRegistry.h"
#include "classlib/Collection.h"
#include "classlib/Translation.h"

namespace {

const QString HiddenItemClass = QStringLiteral("HiddenItemClass");

} // namespace

void TGSpecialFiler::WriteCollection(const TCollection* collection) {
    if (!m_writer)
        throw EStreamError(_("No TWriter defined for filer"));
    m_writer->WriteValue(TValueType::vaCollection);
    if (collection) {
        for (int i = 0; i < collection->Count(); ++i) {
            const TCollectionItem* item = collection->Items(i);
            m_writer->WriteListBegin();
            m_writer->WritePropName(HiddenItemClass);
            m_writer->WriteString(QString::fromLatin1(item->metaObject()->className()));
            m_writer->WriteProperties(item);
            m_writer->WriteListEnd();
        }
    }
    m_writer->WriteListEnd();
}

void TGSpecialFiler::ReadItems(TCollection* into, const QMetaObject* itemClass) {
    if (m_reader->ReadValue() != TValueType::vaCollection)
        throw EReadError(_("Invalid stream format"));
    while (!m_reader->EndOfList()) {
        m_reader->ReadListBegin();
        m_reader->ReadStr(); // the property name, not compared
        const QString className = m_reader->ReadString();
        const QMetaObject* meta = FindClass(className);
        // Only item classes of the collection can live in it.
        if (!meta->inherits(&TCollectionItem::staticMetaObject) || (itemClass && !meta->inherits(itemClass)))
            throw EReadError(_("Invalid property value"));
        QObject* obj = CreateRegisteredObject(meta, into);
        auto* item = qobject_cast<TCollectionItem*>(obj);
        if (!item) {
            delete obj;
            throw EReadError(_("Invalid property value"));
        }
        if (item->Collection() != into)
            item->SetCollection(into);
        while (!m_reader->EndOfList())
            m_reader->ReadProperty(item);
        m_reader->ReadListEnd();
    }
    m_reader->ReadListEnd();
}

void TGSpecialFiler::ReadCollection(TCollection* collection) {
    if (!m_reader)
        throw EStreamError(_("No TReader defined for filer"));
    TCollection staging(collection->ItemClass(), nullptr);
    ReadItems(&staging, collection->ItemClass());
    collection->BeginUpdate();
    try {
        collection->Clear();
        while (staging.Count() > 0)
            staging.Items(0)->SetCollection(collection);
    } catch (...) {
        collection->EndUpdate();
        throw;
    }
    collection->EndUpdate();
}

void TGSpecialFiler::ReadCollectionInPlace(TCollection* collection) {
    if (!m_reader)
        throw EStreamError(_("No TReader defined for filer"));
    collection->BeginUpdate();
    try {
        collection->Clear();
        ReadItems(collection, collection->ItemClass());
    } catch (...) {
        collection->EndUpdate();
        throw;
    }
    collection->EndUpdate();
}
