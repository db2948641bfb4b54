#include "catalogue/Card.h"
#include "catalogue/ScanStore.h"

#include "platform/AppPaths.h"

#include <array>

// File names in the scan store. Stores written by earlier versions must be found
// again, so the transliteration and the folder rules below are stored data.

namespace {

// Every character that transliterates lies below this code point.
constexpr char16_t TableEnd = 0x01D5;

struct TTransliteration
{
    char16_t First;
    char16_t Last;
    const char *Text;
};

// Upper- and lower-case letters alike give the lower-case text; the final
// lower-casing would turn the upper-case text into it anyway.
constexpr TTransliteration Transliterations[] = {
    {0x00C0, 0x00C5, "a"}, {0x00E0, 0x00E5, "a"}, {0x0104, 0x0105, "a"}, {0x01CD, 0x01CE, "a"},
    {0x00C6, 0x00C6, "ae"}, {0x00E6, 0x00E6, "ae"},
    {0x00C7, 0x00C7, "c"}, {0x00E7, 0x00E7, "c"}, {0x0106, 0x0109, "c"}, {0x010C, 0x010D, "c"},
    {0x00D0, 0x00D0, "d"}, {0x00F0, 0x00F0, "d"}, {0x010E, 0x0111, "d"},
    {0x00C8, 0x00CB, "e"}, {0x00E8, 0x00EB, "e"}, {0x0114, 0x0115, "e"}, {0x0118, 0x011B, "e"},
    {0x011C, 0x011D, "g"},
    {0x0124, 0x0125, "h"},
    {0x00CC, 0x00CF, "i"}, {0x00EC, 0x00EF, "i"}, {0x01CF, 0x01D0, "i"},
    {0x0134, 0x0135, "j"},
    {0x0139, 0x013A, "l"}, {0x0141, 0x0142, "l"},
    {0x00D1, 0x00D1, "n"}, {0x00F1, 0x00F1, "n"}, {0x0143, 0x0144, "n"}, {0x0147, 0x0148, "n"},
    {0x00D2, 0x00D6, "o"}, {0x00D8, 0x00D8, "o"}, {0x00F2, 0x00F6, "o"}, {0x00F8, 0x00F8, "o"},
    {0x01D1, 0x01D2, "o"},
    {0x0152, 0x0153, "oe"},
    {0x0154, 0x0155, "r"}, {0x0158, 0x0159, "r"},
    {0x015A, 0x015D, "s"}, {0x0160, 0x0161, "s"},
    {0x00DF, 0x00DF, "ss"},
    {0x0164, 0x0165, "t"},
    {0x00D9, 0x00DC, "u"}, {0x00F9, 0x00FC, "u"}, {0x0168, 0x0169, "u"}, {0x016E, 0x016F, "u"},
    {0x01D3, 0x01D4, "u"},
    {0x0174, 0x0175, "w"},
    {0x00DD, 0x00DD, "y"}, {0x00FD, 0x00FD, "y"}, {0x00FF, 0x00FF, "y"}, {0x0176, 0x0178, "y"},
    {0x0179, 0x017E, "z"},
};

// Marks a character that is dropped from file names.
constexpr const char *Removed = "";

constexpr std::array<const char *, TableEnd> buildTable()
{
    std::array<const char *, TableEnd> table{};
    for (const TTransliteration &entry : Transliterations)
        for (char16_t ch = entry.First; ch <= entry.Last; ++ch)
            table[ch] = entry.Text;
    // ASCII punctuation and the blank: '/' and '.' among them, so no name can
    // leave its folder.
    for (char16_t ch = 0x20; ch <= 0x7E; ++ch) {
        const bool alphanumeric = (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z')
                                  || (ch >= 'a' && ch <= 'z');
        if (!alphanumeric)
            table[ch] = Removed;
    }
    for (char16_t ch : {0x00A1, 0x00A9, 0x00AE, 0x00B0, 0x00B5, 0x00BF, 0x00F7})
        table[ch] = Removed;
    // Control characters (NUL included) cannot be part of a file name anywhere
    // the store was ever kept.
    for (char16_t ch = 0x00; ch < 0x20; ++ch)
        table[ch] = Removed;
    table[0x7F] = Removed;
    return table;
}

constexpr std::array<const char *, TableEnd> FileNameTable = buildTable();

// The longest name a file system takes, less the ".jpg" the base gets.
constexpr qsizetype MaxBaseBytes = 255 - 4;

// Cuts Bytes (UTF-8) to at most MaxBytes without splitting a character.
void truncateUtf8(AnsiString &Bytes, qsizetype MaxBytes)
{
    if (Bytes.size() <= MaxBytes)
        return;
    qsizetype length = MaxBytes;
    while (length > 0 && (static_cast<unsigned char>(Bytes[length]) & 0xC0) == 0x80)
        --length;
    Bytes.truncate(length);
}

bool isLanguageWithoutLatinNames(const AnsiString &Language)
{
    // Compared as stored: "jp" in lower case keeps its name-based file name.
    static const char *const languages[] = {"CH", "JP", "RU", "TW", "KR", "HE"};
    for (const char *language : languages)
        if (Language == language)
            return true;
    return false;
}

// The language's folder, or empty for English and for no language.
AnsiString languageFolder(const AnsiString &Language)
{
    if (Language.isEmpty() || AnsiUpperCase(Language) == "EN")
        return {};
    return SafeFolderName(AnsiLowerCase(Language));
}

constexpr char Delim = PathDelim.toLatin1();

} // namespace

AnsiString TGameCard::FileSafeName() const
{
    QString safe;
    safe.reserve(Name.size());
    const qsizetype length = Name.size();
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t ch = Name.at(i).unicode();
        if (ch < TableEnd && FileNameTable[ch]) {
            safe += QLatin1StringView(FileNameTable[ch]);
        } else if (QChar::isHighSurrogate(ch)) {
            // A pair stays; a lone half has no spelling in 8-bit text and is dropped.
            if (i + 1 < length && QChar::isLowSurrogate(Name.at(i + 1).unicode())) {
                safe += Name.at(i);
                safe += Name.at(++i);
            }
        } else if (!QChar::isLowSurrogate(ch)) {
            safe += QChar(ch);
        }
    }
    AnsiString result = AnsiLowerCase(ToAnsi(safe));
    truncateUtf8(result, MaxBaseBytes);
    return result;
}

AnsiString TGameCard::ScanFileName(int Naming) const
{
    if (Naming == 1 && isLanguageWithoutLatinNames(Language))
        Naming = 0;

    AnsiString base;
    switch (Naming) {
    case 1: base = FileSafeName(); break;
    case 2: base = AnsiString::number(Number); break;
    default: base = AnsiString::number(Id); break;
    }
    base += ".jpg";

    AnsiString path;
    if (SubsetId > 0) {
        const AnsiString subset = SubsetCode(SubsetId);
        if (!subset.isEmpty())
            path += subset + Delim;
    }
    const AnsiString language = languageFolder(Language);
    if (!language.isEmpty())
        path += language + Delim;
    return path + base;
}
