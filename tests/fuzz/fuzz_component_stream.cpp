// The component stream, read into an object inspector: its published properties and, through its defined
// properties, its presets and rows. A bad stream must raise one of the class library's errors and leave
// the inspector out of its loading state, and never make a grid larger than a grid holds; every stream
// the inspector writes must read back to an inspector that writes the same stream again.
#include "FuzzApplication.h"
#include "FuzzSupport.h"
#include "inspector/ComponentStream.h"
#include "inspector/RSObjectInspector.h"

#include <QBuffer>

namespace {

QByteArray Written(const TRSObjectInspector& inspector) {
    QBuffer buffer;
    fuzz::Check(buffer.open(QIODevice::WriteOnly), "cannot open a buffer");
    TWriter writer(&buffer);
    writer.WriteComponent(&inspector);
    return buffer.data();
}

bool Read(TRSObjectInspector& inspector, QByteArray bytes) {
    QBuffer buffer(&bytes);
    fuzz::Check(buffer.open(QIODevice::ReadOnly), "cannot open a buffer");
    TReader reader(&buffer);
    try {
        reader.ReadComponent(&inspector);
    } catch (const Exception&) {
        fuzz::Check(!inspector.Loading(), "a failed read left the inspector loading");
        return false;
    }
    fuzz::Check(!inspector.Loading(), "a read left the inspector loading");
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::EnsureApplication();
    TRSObjectInspector inspector;
    const bool read = Read(inspector, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    fuzz::Check(inspector.ColCount() <= MaxGridLines && inspector.RowCount() <= MaxGridLines,
                "a stream made a grid larger than a grid holds");
    if (!read)
        return 0;
    const QByteArray once = Written(inspector);
    TRSObjectInspector again;
    fuzz::Check(Read(again, once), "a stream the writer made does not read back");
    const QByteArray twice = Written(again);
    // An inspector without presets stores none, and the inspector that reads its stream keeps the ones
    // every new inspector starts with: only then may the first stream read back differ.
    if (inspector.Presets()->Count() > 0)
        fuzz::Check(twice == once, "a stream read back writes out differently");
    TRSObjectInspector third;
    fuzz::Check(Read(third, twice), "a stream the writer made does not read back");
    fuzz::Check(Written(third) == twice, "a stream read back writes out differently");
    return 0;
}
