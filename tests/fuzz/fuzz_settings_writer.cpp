// The settings file's byte-keeping writer: a file as a user left it, some of the program's seven keys
// changed, written back. Every line that holds none of the keys written comes back byte for byte and in
// its order; a key line rewritten keeps its own line ending; a new key goes right after its section's
// last key line (or its header); every value written reads back.
//
// The input: a count of changes, each a key (an index into the seven) and its value up to a zero byte;
// the rest is the file.
#include "FuzzSupport.h"
#include "platform/IniFile.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>
#include <vector>

namespace {

struct TKey {
    const char* section;
    const char* ident;
};

// The settings file's keys, as the program writes them.
constexpr std::array<TKey, 7> kKeys{{{"Serial", "Baudrate"},
                                     {"Serial", "stopbit"},
                                     {"Serial", "paridade"},
                                     {"Serial", "Channel"},
                                     {"Tcp", "ip"},
                                     {"Tcp", "Port"},
                                     {"Conexao", "Comtype"}}};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

QByteArray Trimmed(const QByteArray& bytes) {
    qsizetype begin = 0, end = bytes.size();
    while (begin < end && IsBlank(bytes.at(begin)))
        ++begin;
    while (end > begin && IsBlank(bytes.at(end - 1)))
        --end;
    return bytes.mid(begin, end - begin);
}

// Names as the reader compares them: read as UTF-8, case ignored.
bool Same(const QByteArray& a, const QByteArray& b) {
    return QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// One line of the file as a reader sees it: the section it stands in and, for a key line, its key.
struct TLine {
    QByteArray raw; // with its line break
    std::optional<QByteArray> header;
    QByteArray section;
    QByteArray key; // empty for a line that holds no key
};

std::vector<TLine> Lines(const QByteArray& data) {
    static const QByteArray bom("\xEF\xBB\xBF");
    std::vector<TLine> lines;
    QByteArray section;
    bool inSection = false;
    for (qsizetype start = 0; start < data.size();) {
        const qsizetype newline = data.indexOf('\n', start);
        const qsizetype end = newline < 0 ? data.size() : newline + 1;
        TLine line{data.mid(start, end - start), {}, {}, {}};
        const QByteArray t =
            Trimmed(start == 0 && line.raw.startsWith(bom) ? line.raw.mid(bom.size()) : line.raw);
        start = end;
        if (t.startsWith('[') && t.endsWith(']')) {
            section = Trimmed(t.mid(1, t.size() - 2));
            inSection = true;
            line.header = section;
        } else if (inSection && !t.isEmpty() && !t.startsWith(';') && t.indexOf('=') > 0) {
            line.key = Trimmed(t.left(t.indexOf('=')));
        }
        line.section = section;
        lines.push_back(line);
    }
    return lines;
}

bool IsWritten(const TLine& line, const std::vector<int>& written) {
    for (const int k : written)
        if (!line.key.isEmpty() && Same(line.section, kKeys[std::size_t(k)].section) &&
            Same(line.key, kKeys[std::size_t(k)].ident))
            return true;
    return false;
}

// The line a reader takes for the key: the first key line of the first section of that name.
const TLine* LineOf(const std::vector<TLine>& lines, const TKey& key) {
    bool inFirst = false, seen = false;
    for (const TLine& line : lines) {
        if (line.header) {
            inFirst = !seen && Same(*line.header, key.section);
            seen = seen || inFirst;
        } else if (inFirst && !line.key.isEmpty() && Same(line.key, key.ident)) {
            return &line;
        }
    }
    return nullptr;
}

QByteArray EndingOf(const QByteArray& raw) {
    return raw.endsWith("\r\n") ? QByteArray("\r\n") : raw.endsWith('\n') ? QByteArray("\n") : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TInput input(data, size);
    std::vector<int> written;
    std::vector<QString> values(kKeys.size());
    for (int n = input.Byte() % 8; n > 0; --n) {
        const int k = input.Byte() % int(kKeys.size());
        const std::string_view value = input.TakeUntil(0);
        values[std::size_t(k)] = QString::fromUtf8(value.data(), qsizetype(value.size()));
        written.push_back(k);
    }
    const auto rest = input.Rest();
    const QByteArray before(reinterpret_cast<const char*>(rest.data()), qsizetype(rest.size()));
    const QString file = QString::fromStdString(fuzz::WriteFile("daxoconf.Ini", rest));

    TIniFile ini(file);
    ini.AutoUpdate = false;
    for (const int k : written)
        ini.WriteString(QLatin1String(kKeys[std::size_t(k)].section),
                        QLatin1String(kKeys[std::size_t(k)].ident), values[std::size_t(k)]);
    try {
        ini.UpdateFile();
    } catch (const EIniFileException&) {
        fuzz::Fail("the settings file could not be written back");
    }
    QByteArray after;
    {
        const TIniFile back(file);
        fuzz::Check(back.Readable(), "the file written could not be read back");
        after = back.Bytes();
    }

    const std::vector<TLine> old = Lines(before), now = Lines(after);
    // Every line of no key written is kept, in its order; only the file's last line may gain a line
    // break, when something follows it now.
    std::vector<const TLine*> kept, found;
    for (const TLine& line : old)
        if (!IsWritten(line, written))
            kept.push_back(&line);
    for (const TLine& line : now) {
        const bool newHeader = line.header && std::none_of(old.begin(), old.end(), [&](const TLine& o) {
                                   return o.header && Same(*o.header, *line.header);
                               });
        if (!IsWritten(line, written) && !newHeader)
            found.push_back(&line);
    }
    fuzz::Check(kept.size() == found.size(), "the writer added or dropped a line it was not asked to");
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const QByteArray& was = kept[i]->raw;
        const QByteArray& is = found[i]->raw;
        const bool lastGainedBreak = !was.endsWith('\n') && (is == was + "\n" || is == was + "\r\n");
        fuzz::Check(is == was || (kept[i] == &old.back() && lastGainedBreak),
                    "the writer changed a line it was not asked to");
    }

    for (const int k : written) {
        const TKey& key = kKeys[std::size_t(k)];
        const TLine* line = LineOf(now, key);
        fuzz::Check(line != nullptr, "a key written is not in the file");
        // Its value as written: line breaks inside it become blanks, and the reader trims blanks.
        QString clean = values[std::size_t(k)];
        clean.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
        fuzz::Check(TIniFile(file).ReadString(QLatin1String(key.section), QLatin1String(key.ident),
                                              QString()) == QString::fromUtf8(Trimmed(clean.toUtf8())),
                    "a value written does not read back");
        if (const TLine* was = LineOf(old, key)) {
            if (!EndingOf(was->raw).isEmpty())
                fuzz::Check(EndingOf(line->raw) == EndingOf(was->raw),
                            "a key line rewritten took another line ending");
            continue;
        }
        // A new key: right after its section's header or another key line.
        const auto at = std::size_t(line - now.data());
        fuzz::Check(at > 0 && (now[at - 1].header || !now[at - 1].key.isEmpty()),
                    "a new key was put after a line that holds no key");
    }
    return 0;
}
