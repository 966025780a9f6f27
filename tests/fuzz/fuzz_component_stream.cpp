// The component stream, read into an object inspector: its published properties and, through its defined
// properties, its presets and rows. A bad stream must raise one of the class library's errors and leave
// the inspector out of its loading state; once the inspector has written its stream and read it back,
// writing and reading again must change nothing.
#include "FuzzApplication.h"
#include "FuzzSupport.h"
#include "inspector/ComponentStream.h"
#include "inspector/RSObjectInspector.h"

#include <QBuffer>

namespace {

constexpr int MostColumnsWrittenBack = 1024;

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
    if (!Read(inspector, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))))
        return 0;
    // A stream may set the grid's column count to any number, and writing the rows then gives each row
    // one value per column (seconds and gigabytes for a count in the millions): not a fault of the
    // reader, so such inspectors are not written back.
    if (inspector.ColCount() > MostColumnsWrittenBack)
        return 0;
    // A stream may set what the inspector derives again when it is read back (the grid's row count from
    // its rows), so the first stream written may differ from the input; from then on nothing may change.
    const QByteArray once = Written(inspector);
    TRSObjectInspector again;
    // An inspector without fixed rows and without rows writes a stream that its reader refuses (the
    // rows set the fixed row again): a clean error, left to the inspector's owners.
    if (!Read(again, once))
        return 0;
    const QByteArray twice = Written(again);
    TRSObjectInspector third;
    fuzz::Check(Read(third, twice), "a stream the writer made does not read back");
    fuzz::Check(Written(third) == twice, "a stream read back writes out differently");
    return 0;
}
