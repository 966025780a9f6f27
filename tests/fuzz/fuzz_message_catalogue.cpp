// The compiled message catalogue read backwards (the status bar's last result in another language): any
// file, however cut or damaged, is read within its bounds, and a source text is found only for a
// translation the file holds.
#include "FuzzSupport.h"
#include "app/CatalogueLookup.h"

#include <QByteArray>
#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TInput input(data, size);
    // The text looked for comes first, up to a NUL; the file is the rest.
    const std::string_view shown = input.TakeUntil(0);
    const std::span<const std::uint8_t> file = input.Rest();
    const QString path = QString::fromStdString(fuzz::WriteFile("default.mo", file));
    const QString wanted = QString::fromUtf8(shown.data(), qsizetype(shown.size()));
    const QString source = SourceOfTranslation(path, wanted);
    const QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    // The source text itself may be any bytes (it is read as UTF-8, lossily); the translation matched.
    fuzz::Check(source.isEmpty() || bytes.contains(wanted.toUtf8()),
                "a source text was found for a translation the file does not hold");
    return 0;
}
