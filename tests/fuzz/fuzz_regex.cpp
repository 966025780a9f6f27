// The regular-expression engine: a pattern, then a text to search. The input is a flag byte (bit 0 case
// insensitive, bit 1 both read as raw UTF-16 so lone surrogates occur, the rest a start position), the
// pattern up to a zero byte, and the text. A pattern that does not compile must say so with
// ERXException; a match must lie inside the text and be found again from its own start.
#include "FuzzSupport.h"
#include "inspector/GRegularExpression.h"

#include <QString>

namespace {

QString TextOf(std::string_view bytes, bool utf16) {
    if (!utf16)
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    QString text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(char16_t(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8));
    return text;
}

void CheckMatch(const TGRegularExpression& rx, const QString& text, int position, int length) {
    fuzz::Check(position >= 0 && position <= text.size() + 1, "a match position outside the text");
    if (position == 0)
        return;
    fuzz::Check(length >= 0 && position - 1 + length <= text.size(), "a match running past the text");
    int again = -1;
    fuzz::Check(rx.MatchAt(text, position, again), "a match not found again from its own start");
    fuzz::Check(again == length, "a match of another length from its own start");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TInput input(data, size);
    const std::uint8_t flags = input.Byte();
    const bool utf16 = flags & 2;
    const QString pattern = TextOf(input.TakeUntil(0), utf16);
    const auto rest = input.Rest();
    const QString text =
        TextOf(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()), utf16);

    TGRegularExpression rx;
    rx.SetCaseSensitive(!(flags & 1));
    try {
        rx.SetExpression(pattern);
    } catch (const ERXException&) {
        return 0;
    }
    for (const TGRegularExpression::TNode& node : rx.Nodes()) {
        const int count = int(rx.Nodes().size());
        fuzz::Check(node.Next1 >= -1 && node.Next1 < count && node.Next2 >= -1 && node.Next2 < count,
                    "a node links outside the automaton");
    }
    int length = -1;
    const int position = rx.Find(text, length);
    CheckMatch(rx, text, position, length);

    const int start = flags >> 2;
    if (start >= 1 && start <= text.size() + 1) {
        const int from = rx.FindFrom(text, start, length);
        CheckMatch(rx, text, from, length);
        fuzz::Check(from == 0 || from >= start, "a match before the start asked for");
    }
    return 0;
}
