#include "app/CatalogueLookup.h"
#include "classlib/RegularFile.h"
#include <QByteArray>
#include <cstdint>
#include <cstring>
#include <optional>

namespace {

// The program's catalogues are a few kilobytes; a larger file is not one of them.
constexpr qint64 kMaximumCatalogueSize = 4 * 1024 * 1024;
constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kSwappedMagic = 0xde120495;

// Up to the first NUL: a plural's forms, and a source text's plural, follow it.
QByteArray FirstPart(const QByteArray& entry) {
    const qsizetype end = entry.indexOf('\0');
    return end < 0 ? entry : entry.left(end);
}

class TCatalogueReader {
public:
    explicit TCatalogueReader(QByteArray data) : m_data(std::move(data)) {
        const std::optional<std::uint32_t> magic = Word(0);
        m_valid = magic && (*magic == kMagic || *magic == kSwappedMagic);
        m_swapped = magic && *magic == kSwappedMagic;
    }

    QString Find(const QByteArray& translated) const {
        if (!m_valid)
            return {};
        const std::optional<std::uint32_t> count = Word(8), originals = Word(12), translations = Word(16);
        if (!count || !originals || !translations)
            return {};
        for (std::uint32_t i = 0; i < *count; ++i) {
            const std::optional<QByteArray> text = Entry(*translations, i);
            if (!text)
                return {}; // the table runs past the file's end
            if (FirstPart(*text) != translated)
                continue;
            const std::optional<QByteArray> source = Entry(*originals, i);
            if (source && !source->isEmpty())
                return QString::fromUtf8(FirstPart(*source));
        }
        return {};
    }

private:
    std::optional<std::uint32_t> Word(std::uint64_t offset) const {
        if (offset + 4 > std::uint64_t(m_data.size()))
            return std::nullopt;
        std::uint32_t value = 0;
        std::memcpy(&value, m_data.constData() + offset, 4);
        return m_swapped ? __builtin_bswap32(value) : value;
    }

    // Entry i of a table of (length, offset) pairs.
    std::optional<QByteArray> Entry(std::uint32_t table, std::uint32_t i) const {
        const std::uint64_t at = std::uint64_t(table) + std::uint64_t(i) * 8;
        const std::optional<std::uint32_t> length = Word(at), offset = Word(at + 4);
        if (!length || !offset || std::uint64_t(*offset) + *length > std::uint64_t(m_data.size()))
            return std::nullopt;
        return QByteArray(m_data.constData() + *offset, qsizetype(*length));
    }

    QByteArray m_data;
    bool m_valid = false;
    bool m_swapped = false; // written on a machine of the other byte order
};

} // namespace

QString SourceOfTranslation(const QString& catalogueFile, const QString& translated) {
    if (translated.isEmpty())
        return {};
    const TRegularFileContents file = ReadRegularFile(catalogueFile, kMaximumCatalogueSize);
    if (file.Status != TFileReadStatus::Read)
        return {};
    return TCatalogueReader(file.Data).Find(translated.toUtf8());
}
