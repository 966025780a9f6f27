#include "OCharset.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

namespace reporter {

namespace {

constexpr int AnsiCharset = 0;
constexpr int ShiftJisCharset = 128;
constexpr int HangeulCharset = 129;
constexpr int Gb2312Charset = 134;
constexpr int ChineseBig5Charset = 136;
constexpr int GreekCharset = 161;
constexpr int TurkishCharset = 162;
constexpr int VietnameseCharset = 163;
constexpr int HebrewCharset = 177;
constexpr int ArabicCharset = 178;
constexpr int BalticCharset = 186;
constexpr int RussianCharset = 204;
constexpr int ThaiCharset = 222;
constexpr int EastEuropeCharset = 238;

struct TMapping {
    std::string_view Key;
    int Charset;
};

// Legacy code sets name their character set directly.
constexpr TMapping CodesetCharsets[] = {
    {"iso88592", EastEuropeCharset}, {"cp1250", EastEuropeCharset},
    {"iso88595", RussianCharset},    {"koi8r", RussianCharset},
    {"koi8u", RussianCharset},       {"cp1251", RussianCharset},
    {"iso88597", GreekCharset},      {"cp1253", GreekCharset},
    {"iso88599", TurkishCharset},    {"cp1254", TurkishCharset},
    {"iso88598", HebrewCharset},     {"cp1255", HebrewCharset},
    {"iso88596", ArabicCharset},     {"cp1256", ArabicCharset},
    {"iso885913", BalticCharset},    {"cp1257", BalticCharset},
    {"cp1258", VietnameseCharset},   {"tis620", ThaiCharset},
    {"cp874", ThaiCharset},          {"eucjp", ShiftJisCharset},
    {"sjis", ShiftJisCharset},       {"shiftjis", ShiftJisCharset},
    {"euckr", HangeulCharset},       {"gb2312", Gb2312Charset},
    {"gbk", Gb2312Charset},          {"gb18030", Gb2312Charset},
    {"big5", ChineseBig5Charset},    {"big5hkscs", ChineseBig5Charset},
};

// A Unicode locale takes the character set of its language's classic code page.
constexpr TMapping LanguageCharsets[] = {
    {"cs", EastEuropeCharset}, {"pl", EastEuropeCharset}, {"hu", EastEuropeCharset},
    {"sk", EastEuropeCharset}, {"sl", EastEuropeCharset}, {"hr", EastEuropeCharset},
    {"ro", EastEuropeCharset}, {"sq", EastEuropeCharset}, {"bs", EastEuropeCharset},
    {"ru", RussianCharset},    {"uk", RussianCharset},    {"be", RussianCharset},
    {"bg", RussianCharset},    {"mk", RussianCharset},    {"sr", RussianCharset},
    {"kk", RussianCharset},    {"el", GreekCharset},      {"tr", TurkishCharset},
    {"az", TurkishCharset},    {"he", HebrewCharset},     {"iw", HebrewCharset},
    {"ar", ArabicCharset},     {"fa", ArabicCharset},     {"ur", ArabicCharset},
    {"lt", BalticCharset},     {"lv", BalticCharset},     {"et", BalticCharset},
    {"vi", VietnameseCharset}, {"th", ThaiCharset},       {"ja", ShiftJisCharset},
    {"ko", HangeulCharset},
};

std::string Normalised(std::string_view text) {
    std::string result;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)))
            result += char(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

} // namespace

std::string UserLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0')
            return value;
    return "C";
}

int CharsetOfLocale(const std::string& localeName) {
    // language[_territory][.codeset][@modifier]
    std::string_view name(localeName);
    if (const size_t at = name.find('@'); at != std::string_view::npos)
        name = name.substr(0, at);
    std::string_view codeset;
    if (const size_t dot = name.find('.'); dot != std::string_view::npos) {
        codeset = name.substr(dot + 1);
        name = name.substr(0, dot);
    }
    const std::string code = Normalised(codeset);
    for (const TMapping& m : CodesetCharsets)
        if (code == m.Key)
            return m.Charset;
    const std::string_view language = name.substr(0, name.find('_'));
    const std::string_view territory =
        name.find('_') == std::string_view::npos ? std::string_view() : name.substr(name.find('_') + 1);
    if (language == "zh")
        return (territory == "TW" || territory == "HK" || territory == "MO") ? ChineseBig5Charset
                                                                             : Gb2312Charset;
    for (const TMapping& m : LanguageCharsets)
        if (language == m.Key)
            return m.Charset;
    return AnsiCharset;
}

int GetDefaultCharset() {
    return CharsetOfLocale(UserLocaleName());
}

} // namespace reporter
