// The mixed-class collection filer, read into the two collections an object inspector stores: its
// presets (items of every registered preset class) and its rows. The first byte picks the collection.
// A bad stream must raise one of the class library's errors and leave the collection as it was; a
// collection that was read must write out into a stream that reads back to the same bytes.
#include "FuzzApplication.h"
#include "FuzzSupport.h"
#include "classlib/Collection.h"
#include "inspector/ComponentStream.h"
#include "inspector/GSpecialFiler.h"
#include "inspector/RSObjectInspector.h"

#include <QBuffer>

namespace {

TCollection* Target(TRSObjectInspector& inspector, bool presets) {
    return presets ? static_cast<TCollection*>(inspector.Presets())
                   : static_cast<TCollection*>(inspector.Items());
}

QByteArray Written(const TCollection* collection) {
    QBuffer buffer;
    fuzz::Check(buffer.open(QIODevice::WriteOnly), "cannot open a buffer");
    TWriter writer(&buffer);
    TGSpecialFiler(&writer).WriteCollection(collection);
    return buffer.data();
}

bool Read(TCollection* collection, QByteArray bytes) {
    QBuffer buffer(&bytes);
    fuzz::Check(buffer.open(QIODevice::ReadOnly), "cannot open a buffer");
    TReader reader(&buffer);
    try {
        TGSpecialFiler(&reader).ReadCollection(collection);
    } catch (const Exception&) {
        return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::EnsureApplication();
    fuzz::TInput input(data, size);
    const bool presets = input.Flag();
    const auto rest = input.Rest();
    TRSObjectInspector inspector;
    TCollection* collection = Target(inspector, presets);
    const QByteArray before = Written(collection);
    if (!Read(collection, QByteArray(reinterpret_cast<const char*>(rest.data()), qsizetype(rest.size())))) {
        fuzz::Check(Written(collection) == before, "a failed read changed the collection");
        return 0;
    }
    const QByteArray once = Written(collection);
    TRSObjectInspector other;
    TCollection* again = Target(other, presets);
    fuzz::Check(Read(again, once), "a collection the filer wrote does not read back");
    fuzz::Check(Written(again) == once, "a collection read back writes out differently");
    return 0;
}
