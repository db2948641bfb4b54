#include "catalogue/CardListFile.h"

#include "platform/AppError.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Strings = std::vector<std::string>;

// UTF-8 copies print readably when a comparison fails.
Strings utf8(const QStringList &List)
{
    Strings result;
    for (const QString &item : List)
        result.push_back(item.toStdString());
    return result;
}

Strings fields(const QString &Line)
{
    return utf8(SplitCardFields(Line));
}

Strings lines(const QString &Text)
{
    return utf8(SplitCardListLines(Text));
}

QByteArray utf16(const QString &Text, bool BigEndian)
{
    QByteArray bytes = BigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (const QChar c : Text) {
        const char high = static_cast<char>(c.unicode() >> 8);
        const char low = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(BigEndian ? high : low);
        bytes.append(BigEndian ? low : high);
    }
    return bytes;
}

// A card line of Count fields: the given ones, then empty ones.
QString row(QStringList Fields, int Count = 12)
{
    while (Fields.size() < Count)
        Fields.append(QString());
    return Fields.join(u';');
}

const QString kHeader = QStringLiteral("Id;Name;Number;ColNo;Rarity;Foil;a;b;c;Notes;P0;P1");

struct TLoaded
{
    TCardList Cards;
    TCardLinesResult Result;
};

// The whole way from the file's bytes to the cards, as the main window goes.
TLoaded load(const QByteArray &Bytes)
{
    TLoaded loaded;
    loaded.Result = ReadCardLines(DecodeCardListText(Bytes), loaded.Cards);
    return loaded;
}

TLoaded loadText(const QString &Text)
{
    TLoaded loaded;
    loaded.Result = ReadCardLines(Text, loaded.Cards);
    return loaded;
}

} // namespace

// ---- Splitting a line into fields ----------------------------------------

TEST(CardListFileFields, BlanksAndSemicolons)
{
    EXPECT_EQ(fields(u"a;b;c"_s), (Strings{"a", "b", "c"}));
    // Blanks and control characters around fields are dropped.
    EXPECT_EQ(fields(u"  a ;\tb\t;  c  "_s), (Strings{"a", "b", "c"}));
    // An unquoted blank ends a field: a two-word value becomes two fields.
    EXPECT_EQ(fields(u"1;Black Lotus;3"_s), (Strings{"1", "Black", "Lotus", "3"}));
    // Values separated by blanks only are fields of their own.
    EXPECT_EQ(fields(u"a b\tc"_s), (Strings{"a", "b", "c"}));
    // Two semicolons in a row give an empty field between them.
    EXPECT_EQ(fields(u"a;;b"_s), (Strings{"a", "", "b"}));
    EXPECT_EQ(fields(u"a; ;b"_s), (Strings{"a", "", "b"}));
    // A semicolon that ends the line adds a final empty field...
    EXPECT_EQ(fields(u"a;b;"_s), (Strings{"a", "b", ""}));
    EXPECT_EQ(fields(u";"_s), (Strings{"", ""}));
    // ...but not when a blank follows it.
    EXPECT_EQ(fields(u"a;b; "_s), (Strings{"a", "b"}));
    EXPECT_EQ(fields(u";a"_s), (Strings{"", "a"}));
    EXPECT_EQ(fields(u""_s), Strings{});
    EXPECT_EQ(fields(u"   \t "_s), Strings{});
    // Characters above the blank stay, the quote included when not leading.
    EXPECT_EQ(fields(u"ab\"cd;\u00A0x"_s), (Strings{"ab\"cd", "\u00A0x"}));
}

TEST(CardListFileFields, QuotedFields)
{
    EXPECT_EQ(fields(u"1;\"Black Lotus\";3"_s), (Strings{"1", "Black Lotus", "3"}));
    // Blanks inside quotes are kept, blanks outside dropped.
    EXPECT_EQ(fields(u" \"  x  \" ;y"_s), (Strings{"  x  ", "y"}));
    // A doubled quote stands for one.
    EXPECT_EQ(fields(u"\"say \"\"hi\"\"\";z"_s), (Strings{"say \"hi\"", "z"}));
    EXPECT_EQ(fields(u"\"\"\"\"\"\""_s), (Strings{"\"\""}));
    EXPECT_EQ(fields(u"\"\";a"_s), (Strings{"", "a"}));
    EXPECT_EQ(fields(u"\"a;b\";c"_s), (Strings{"a;b", "c"}));
    // An unclosed quote takes the rest of the line, semicolons included.
    EXPECT_EQ(fields(u"a;\"b; c;d"_s), (Strings{"a", "b; c;d"}));
    EXPECT_EQ(fields(u"a;\"b\"\"c"_s), (Strings{"a", "b\"c"}));
    EXPECT_EQ(fields(u"\""_s), (Strings{""}));
    // Text right after a closing quote starts another field.
    EXPECT_EQ(fields(u"\"ab\"cd;e"_s), (Strings{"ab", "cd", "e"}));
    // A quoted field before a final semicolon still gets its empty field.
    EXPECT_EQ(fields(u"\"a\";"_s), (Strings{"a", ""}));
}

TEST(CardListFileFields, NulEndsTheLineInsteadOfLooping)
{
    // A NUL stops an unquoted field without being skipped; taken as a
    // character it would make empty fields forever.
    EXPECT_EQ(fields(QStringLiteral("a;b") + QChar(0) + QStringLiteral("c;d")), (Strings{"a", "b"}));
    EXPECT_EQ(fields(QStringLiteral("a;") + QChar(0)), (Strings{"a", ""}));
    EXPECT_EQ(fields(QString(QChar(0))), Strings{});
}

// ---- Splitting the text into lines ---------------------------------------

TEST(CardListFileLines, EveryLineEnd)
{
    EXPECT_EQ(lines(u"a\rb\nc\r\nd\u2028e"_s), (Strings{"a", "b", "c", "d", "e"}));
    // A break at the very end starts no line.
    EXPECT_EQ(lines(u"a\r\n"_s), (Strings{"a"}));
    EXPECT_EQ(lines(u"a\u2028"_s), (Strings{"a"}));
    // Two breaks in a row make an empty line; LF CR is two breaks.
    EXPECT_EQ(lines(u"a\n\nb"_s), (Strings{"a", "", "b"}));
    EXPECT_EQ(lines(u"a\n\rb"_s), (Strings{"a", "", "b"}));
    EXPECT_EQ(lines(u"a\r\r\nb\n\n"_s), (Strings{"a", "", "b", ""}));
    EXPECT_EQ(lines(u"\n"_s), (Strings{""}));
    EXPECT_EQ(lines(u""_s), Strings{});
    // Other separators are ordinary characters.
    EXPECT_EQ(lines(u"a\u2029b\x0B"_s), (Strings{"a\u2029b\x0B"}));
}

// ---- Encodings ------------------------------------------------------------

TEST(CardListFileEncoding, ByteOrderMarks)
{
    const QString polish = QStringLiteral(u"Zażółć gęślą jaźń\r\nŁódź");
    EXPECT_EQ(DecodeCardListText(utf16(polish, false)), polish);
    EXPECT_EQ(DecodeCardListText(utf16(polish, true)), polish);
    // An odd last byte is no character.
    EXPECT_EQ(DecodeCardListText(utf16(u"ab"_s, false) + 'c'), u"ab"_s);
    EXPECT_EQ(DecodeCardListText(utf16(u"ab"_s, true) + 'c'), u"ab"_s);
    EXPECT_EQ(DecodeCardListText(QByteArray("\xFF\xFE", 2)), QString());
    EXPECT_EQ(DecodeCardListText(QByteArray("\xFF\xFE" "A", 3)), QString());

    EXPECT_EQ(DecodeCardListText(QByteArray("\xEF\xBB\xBF") + polish.toUtf8()), polish);
    EXPECT_EQ(DecodeCardListText(QByteArray("\xEF\xBB\xBF")), QString());
    // After a UTF-8 mark, one bad sequence anywhere empties the whole text.
    EXPECT_TRUE(DecodeCardListText(QByteArray("\xEF\xBB\xBF" "abc\nCaf\xE9\n")).isEmpty());
    EXPECT_TRUE(DecodeCardListText(QByteArray("\xEF\xBB\xBF" "ok\xC0\xAF")).isEmpty());   // overlong
    EXPECT_TRUE(DecodeCardListText(QByteArray("\xEF\xBB\xBF" "ok\xED\xA0\x80")).isEmpty()); // surrogate
    EXPECT_TRUE(DecodeCardListText(QByteArray("\xEF\xBB\xBF" "ok\xE2\x82")).isEmpty());  // cut short
}

TEST(CardListFileEncoding, WithoutMarkNoByteIsSkipped)
{
    // Valid UTF-8 is the code page; anything else reads as Windows-1252.
    EXPECT_EQ(DecodeCardListText(u"Łódź"_s.toUtf8()), u"Łódź"_s);
    EXPECT_EQ(DecodeCardListText(QByteArray("Caf\xE9 \x80\x9F")), QStringLiteral(u"Café €Ÿ"));
    // Files shorter than a mark, and half marks, are plain text.
    EXPECT_EQ(DecodeCardListText(QByteArray("\xFF")), QStringLiteral(u"ÿ"));
    EXPECT_EQ(DecodeCardListText(QByteArray("\xFE")), QStringLiteral(u"þ"));
    EXPECT_EQ(DecodeCardListText(QByteArray("\xEF\xBB")), QStringLiteral(u"ï»"));
    EXPECT_EQ(DecodeCardListText(QByteArray("\xEF\xBB" "A")), QStringLiteral(u"ï»A"));
    EXPECT_EQ(DecodeCardListText(QByteArray("\xFF" "A")), QStringLiteral(u"ÿA"));
    EXPECT_EQ(DecodeCardListText(QByteArray()), QString());
}

TEST(CardListFileEncoding, NulEndsTheText)
{
    EXPECT_EQ(DecodeCardListText(QByteArray("ab\0cd", 5)), u"ab"_s);
    EXPECT_EQ(DecodeCardListText(QByteArray("\0ab", 3)), QString());
    // What follows a NUL does not decide how the text before it is read.
    EXPECT_EQ(DecodeCardListText(u"Łódź"_s.toUtf8() + QByteArray("\0\xE9", 2)), u"Łódź"_s);
    EXPECT_EQ(DecodeCardListText(QByteArray("\xEF\xBB\xBF" "ab\0cd", 8)), u"ab"_s);
    EXPECT_EQ(DecodeCardListText(utf16(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"), false)),
              u"ab"_s);
    EXPECT_EQ(DecodeCardListText(utf16(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"), true)),
              u"ab"_s);
    // A NUL's high byte alone is no NUL: U+0100 stays.
    EXPECT_EQ(DecodeCardListText(utf16(u"a\u0100b"_s, false)), u"a\u0100b"_s);
}

// ---- Integer columns ------------------------------------------------------

TEST(CardListFileInteger, DecimalAndHexadecimal)
{
    EXPECT_EQ(CardFileInteger(u"0"_s), 0);
    EXPECT_EQ(CardFileInteger(u"42"_s), 42);
    EXPECT_EQ(CardFileInteger(u"+42"_s), 42);
    EXPECT_EQ(CardFileInteger(u"-42"_s), -42);
    EXPECT_EQ(CardFileInteger(u"007"_s), 7);
    EXPECT_EQ(CardFileInteger(u"   12"_s), 12);
    // Only leading blanks: a quoted "12 " is no number (it would rename the card's file).
    EXPECT_EQ(CardFileInteger(u"12 "_s), 0);
    EXPECT_EQ(CardFileInteger(u" 12  "_s), 0);
    EXPECT_EQ(CardFileInteger(u"$1F"_s), 31);
    EXPECT_EQ(CardFileInteger(u"x1f"_s), 31);
    EXPECT_EQ(CardFileInteger(u"X1F"_s), 31);
    EXPECT_EQ(CardFileInteger(u"0x1F"_s), 31);
    EXPECT_EQ(CardFileInteger(u"0XaB"_s), 171);
    // A sign may come before the hexadecimal prefix.
    EXPECT_EQ(CardFileInteger(u"-$10"_s), -16);
    EXPECT_EQ(CardFileInteger(u"-0x10"_s), -16);
    EXPECT_EQ(CardFileInteger(u"2147483647"_s), 2147483647);
    EXPECT_EQ(CardFileInteger(u"-2147483648"_s), INT_MIN);
    EXPECT_EQ(CardFileInteger(u"$7FFFFFFF"_s), INT_MAX);
    EXPECT_EQ(CardFileInteger(u"-$80000000"_s), INT_MIN);
    EXPECT_EQ(CardFileInteger(u"0000000000000000000012"_s), 12);
}

TEST(CardListFileInteger, AnythingElseIsZero)
{
    for (const QString &text : {u""_s, u" "_s, u"-"_s, u"+"_s, u"$"_s, u"0x"_s, u"x"_s,
                                u"12a"_s, u"a12"_s, u"1 2"_s, u"- 5"_s, u"--5"_s, u"$-10"_s,
                                u"1.5"_s, u"1e3"_s, u"$1G"_s, u"0x0x1"_s, u"\t12"_s,
                                u"١٢"_s /* Arabic-Indic digits */, u"１２"_s /* fullwidth */})
        EXPECT_EQ(CardFileInteger(text), 0) << text.toStdString();
    // Values outside 32-bit signed give 0, not a wrapped value.
    for (const QString &text : {u"2147483648"_s, u"-2147483649"_s, u"99999999999999999999"_s,
                                u"$80000000"_s, u"$FFFFFFFF"_s, u"0x100000000"_s})
        EXPECT_EQ(CardFileInteger(text), 0) << text.toStdString();
}

// ---- Cards from lines -----------------------------------------------------

TEST(CardListFileCards, ColumnsFillTheCard)
{
    const TLoaded loaded = loadText(
        kHeader + u"\n17;\"Black Lotus\";5;5a;Rare;FOIL;x;y;z;\"Mind the \"\"corner\"\"\";Artifact;Power\n"
                  u"$20;Island;0;;Common;foil;;;;;Land;\n"_s);   // 12 fields, the last one empty
    ASSERT_FALSE(loaded.Result.WrongFormat);
    ASSERT_EQ(loaded.Cards.Count(), 2);

    const TGameCard &lotus = *loaded.Cards.Objects(0);
    EXPECT_EQ(loaded.Cards.Strings(0), u"Black Lotus"_s);
    EXPECT_EQ(lotus.Id, 17);
    EXPECT_EQ(lotus.Name, u"Black Lotus"_s);
    EXPECT_EQ(lotus.Number, 5);
    EXPECT_EQ(lotus.CollectorsNo, u"5a"_s);
    EXPECT_EQ(lotus.Rarity, u"Rare"_s);
    EXPECT_EQ(lotus.Foil, AnsiString("FOIL"));
    EXPECT_TRUE(lotus.IsFoil());
    EXPECT_EQ(lotus.Notes, u"Mind the \"corner\""_s);
    EXPECT_EQ(lotus.P0, u"Artifact"_s);
    EXPECT_EQ(lotus.P1, u"Power"_s);
    // Never filled from a file.
    EXPECT_TRUE(lotus.Language.isEmpty());
    EXPECT_TRUE(lotus.ScanFile.isEmpty());
    EXPECT_EQ(lotus.SubsetId, 0);
    EXPECT_EQ(lotus.ScanStatus, ScanNone);

    const TGameCard &island = *loaded.Cards.Objects(1);
    EXPECT_EQ(island.Id, 32);
    EXPECT_EQ(island.Number, 0);
    EXPECT_TRUE(island.CollectorsNo.isEmpty());
    EXPECT_FALSE(island.IsFoil());   // compared case-sensitively
    EXPECT_TRUE(island.Notes.isEmpty());
    EXPECT_EQ(island.P0, u"Land"_s);
    EXPECT_TRUE(island.P1.isEmpty());   // the trailing semicolon's field

    EXPECT_TRUE(loaded.Result.AnyNumbered);
    EXPECT_TRUE(loaded.Result.AnyCollectorsNo);
}

TEST(CardListFileCards, FieldCounts)
{
    // The unquoted two-word name makes 13 fields: every later column shifts,
    // so the number column gets the name's second word and reads as 0.
    TLoaded shifted = loadText(kHeader + u"\n1;Black Lotus;5;5a;Rare;FOIL;x;y;z;n;p0;p1"_s);
    ASSERT_FALSE(shifted.Result.WrongFormat);
    ASSERT_EQ(shifted.Cards.Count(), 1);
    EXPECT_EQ(shifted.Cards.Objects(0)->Name, u"Black"_s);
    EXPECT_EQ(shifted.Cards.Objects(0)->Number, 0);
    EXPECT_EQ(shifted.Cards.Objects(0)->CollectorsNo, u"5"_s);
    EXPECT_EQ(shifted.Cards.Objects(0)->Foil, AnsiString("Rare"));
    EXPECT_EQ(shifted.Cards.Objects(0)->P1, u"p0"_s);
    EXPECT_FALSE(shifted.Result.AnyNumbered);

    // Eleven fields stop the load; the cards before stay.
    TLoaded eleven = loadText(kHeader + u'\n' + row({u"1"_s, u"A"_s}) + u'\n' + row({u"2"_s, u"B"_s}, 11)
                              + u'\n' + row({u"3"_s, u"C"_s}) + u'\n');
    EXPECT_TRUE(eleven.Result.WrongFormat);
    ASSERT_EQ(eleven.Cards.Count(), 1);
    EXPECT_EQ(eleven.Cards.Strings(0), u"A"_s);

    // Eleven fields and a closing semicolon make twelve.
    TLoaded closing = loadText(kHeader + u'\n' + row({u"1"_s, u"A"_s, u"x"_s}, 11) + u';');
    EXPECT_FALSE(closing.Result.WrongFormat);
    EXPECT_EQ(closing.Cards.Count(), 1);

    // A blank after that semicolon takes the twelfth field away again.
    EXPECT_TRUE(loadText(kHeader + u'\n' + row({u"1"_s, u"A"_s, u"x"_s}, 11) + u"; "_s).Result.WrongFormat);

    // Fields past the twelfth are not read.
    TLoaded many = loadText(kHeader + u"\n1;A;1;c;r;f;6;7;8;n;p;q;12;13;\"unclosed"_s);
    ASSERT_EQ(many.Cards.Count(), 1);
    EXPECT_EQ(many.Cards.Objects(0)->P1, u"q"_s);
}

TEST(CardListFileCards, EmptyLinesAndHeaders)
{
    // The header is never read, whatever it holds.
    TLoaded headerOnly = loadText(u"\"unclosed;;;\n"_s);
    EXPECT_FALSE(headerOnly.Result.WrongFormat);
    EXPECT_EQ(headerOnly.Cards.Count(), 0);
    EXPECT_FALSE(headerOnly.Result.AnyNumbered);
    EXPECT_FALSE(headerOnly.Result.AnyCollectorsNo);

    TLoaded empty = loadText(QString());
    EXPECT_FALSE(empty.Result.WrongFormat);
    EXPECT_EQ(empty.Cards.Count(), 0);

    // An empty line anywhere after the header is a wrong line.
    EXPECT_TRUE(loadText(kHeader + u"\n\n"_s + row({u"1"_s, u"A"_s}) + u'\n').Result.WrongFormat);
    TLoaded gap = loadText(kHeader + u'\n' + row({u"1"_s, u"A"_s}) + u"\n\n"_s + row({u"2"_s, u"B"_s}));
    EXPECT_TRUE(gap.Result.WrongFormat);
    EXPECT_EQ(gap.Cards.Count(), 1);
    // A line break after the last card is no empty line.
    EXPECT_FALSE(loadText(kHeader + u"\r\n"_s + row({u"1"_s, u"A"_s}) + u"\r\n"_s).Result.WrongFormat);
}

TEST(CardListFileCards, NumberedFlagsAndExistingCards)
{
    // Number 0 or less counts as none; a CollectorsNo of blanks was dropped.
    TLoaded none = loadText(kHeader + u'\n' + row({u"1"_s, u"A"_s, u"0"_s}) + u'\n'
                            + row({u"2"_s, u"B"_s, u"-3"_s, u"  "_s}));
    EXPECT_FALSE(none.Result.AnyNumbered);
    EXPECT_FALSE(none.Result.AnyCollectorsNo);

    TLoaded some = loadText(kHeader + u'\n' + row({u"1"_s, u"A"_s, u"0"_s}) + u'\n'
                            + row({u"2"_s, u"B"_s, u"3"_s}) + u'\n'
                            + row({u"3"_s, u"C"_s, u"0"_s, u"\"12b\""_s}));
    EXPECT_TRUE(some.Result.AnyNumbered);
    EXPECT_TRUE(some.Result.AnyCollectorsNo);

    // Cards already in the list stay in front.
    TCardList cards;
    cards.Add(u"Old"_s, std::make_unique<TGameCard>());
    ReadCardLines(QString(kHeader + u'\n' + row({u"1"_s, u"New"_s})), cards);
    ASSERT_EQ(cards.Count(), 2);
    EXPECT_EQ(cards.Strings(0), u"Old"_s);
    EXPECT_EQ(cards.Strings(1), u"New"_s);
}

TEST(CardListFileCards, RepeatedValuesStayPerCard)
{
    // Values equal to the card before share its text; each card must still
    // hold its own value, and changing one must leave the others alone.
    QString text = kHeader;
    const QStringList foils = {u"FOIL"_s, u"FOIL"_s, QString(), u"FOIL"_s, u"foil"_s, u"foil"_s, QString()};
    for (int i = 0; i < foils.size(); ++i)
        text += u'\n' + row({QString::number(i), u"Same"_s, u"1"_s, u"1"_s, i < 3 ? u"Rare"_s : u"Common"_s,
                              foils[i], {}, {}, {}, u"n"_s, u"Land"_s, i % 2 ? u"x"_s : QString()});
    TLoaded loaded = loadText(text);
    ASSERT_EQ(loaded.Cards.Count(), foils.size());
    for (int i = 0; i < foils.size(); ++i) {
        const TGameCard &card = *loaded.Cards.Objects(i);
        EXPECT_EQ(card.Foil, ToAnsi(foils[i])) << i;
        EXPECT_EQ(card.Rarity, i < 3 ? u"Rare"_s : u"Common"_s) << i;
        EXPECT_EQ(card.P1, i % 2 ? u"x"_s : QString()) << i;
        EXPECT_EQ(card.Name, u"Same"_s) << i;
    }
    loaded.Cards.Objects(0)->Name[0] = u'X';
    loaded.Cards.Objects(0)->Foil[0] = 'X';
    EXPECT_EQ(loaded.Cards.Objects(1)->Name, u"Same"_s);
    EXPECT_EQ(loaded.Cards.Strings(0), u"Same"_s);
    EXPECT_EQ(loaded.Cards.Objects(1)->Foil, AnsiString("FOIL"));
}

TEST(CardListFileCards, EveryEncodingGivesTheSameCards)
{
    const QString text = kHeader + u"\r\n7;\"Żółw Łódź\";3;;Rzadka;FOIL;;;;\"Uwaga: ść\";Stwór;Żółw\r\n"_s;
    const QByteArray bytesUtf8Mark = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    for (const QByteArray &bytes : {utf16(text, false), utf16(text, true), bytesUtf8Mark, text.toUtf8()}) {
        const TLoaded loaded = load(bytes);
        ASSERT_FALSE(loaded.Result.WrongFormat);
        ASSERT_EQ(loaded.Cards.Count(), 1);
        EXPECT_EQ(loaded.Cards.Objects(0)->Name, QStringLiteral(u"Żółw Łódź"));
        EXPECT_EQ(loaded.Cards.Objects(0)->Notes, QStringLiteral(u"Uwaga: ść"));
        EXPECT_EQ(loaded.Cards.Objects(0)->P1, QStringLiteral(u"Żółw"));
        EXPECT_TRUE(loaded.Cards.Objects(0)->IsFoil());
    }
    // An 8-bit file in Windows-1252.
    const TLoaded ansi =
        load("h\r\n" + row({u"1"_s, u"NAME"_s}).toLatin1().replace("NAME", "\"Caf\xE9 \x80\"") + "\r\n");
    ASSERT_EQ(ansi.Cards.Count(), 1);
    EXPECT_EQ(ansi.Cards.Objects(0)->Name, QStringLiteral(u"Café €"));
    // Bad UTF-8 after the mark: no cards, and no wrong line either.
    const TLoaded bad = load(QByteArray("\xEF\xBB\xBF") + text.toUtf8() + "\xFF");
    EXPECT_EQ(bad.Cards.Count(), 0);
    EXPECT_FALSE(bad.Result.WrongFormat);
    // A NUL cuts the second card off.
    const TLoaded cut = load(text.toUtf8() + row({u"2"_s, u"B"_s}).toUtf8() + QByteArray(1, '\0') + "\r\n"
                             + row({u"3"_s, u"C"_s}).toUtf8());
    ASSERT_EQ(cut.Cards.Count(), 2);
    EXPECT_EQ(cut.Cards.Strings(1), u"B"_s);
}

TEST(CardListFileCards, MalformedInputEndsCleanly)
{
    // Binary junk: whatever it decodes to, it ends with cards or a wrong line.
    QByteArray binary;
    quint32 seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        binary.append(static_cast<char>((seed >> 16) | 1));   // no NUL, to read it all
    }
    for (const QByteArray &bytes : {binary, QByteArray("\xFF\xFE") + binary, QByteArray("\xFE\xFF") + binary})
        load(bytes);

    // One line of 10 MB: the header alone, or a card with a huge quoted name.
    const QByteArray huge(10 * 1024 * 1024, 'x');
    EXPECT_EQ(load(huge).Cards.Count(), 0);
    const TLoaded big = load("h\n" + row({u"1"_s, u'"' + QString::fromLatin1(huge) + u'"'}).toUtf8());
    ASSERT_EQ(big.Cards.Count(), 1);
    EXPECT_EQ(big.Cards.Objects(0)->Name.size(), huge.size());
    const TLoaded unclosed = load("h\n1;\"" + huge);
    EXPECT_TRUE(unclosed.Result.WrongFormat);
    EXPECT_EQ(load("h\n" + QByteArray(10 * 1024 * 1024, ';')).Cards.Count(), 1);
}

// ---- Reading the file -----------------------------------------------------

TEST(CardListFileRead, RealFiles)
{
    TTestEnvironment env;
    const QString text = kHeader + u"\r\n"_s + row({u"1"_s, u"\"Zażółć\""_s}) + u"\r\n"_s;
    const QByteArray bytes = utf16(text, false);
    const QString path = env.WriteFile(u"lists/cards.csv"_s, bytes);
    EXPECT_EQ(ReadCardListFile(path), bytes);
    const TLoaded loaded = load(ReadCardListFile(path));
    ASSERT_EQ(loaded.Cards.Count(), 1);
    EXPECT_EQ(loaded.Cards.Strings(0), QStringLiteral(u"Zażółć"));

    // Reading leaves the file as it was.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bytes);

    const QString emptyPath = env.WriteFile(u"empty.csv"_s, QByteArray());
    EXPECT_TRUE(ReadCardListFile(emptyPath).isEmpty());

    // A file larger than any first guess of its size.
    const QByteArray big(3 * 1024 * 1024 + 7, 'q');
    EXPECT_EQ(ReadCardListFile(env.WriteFile(u"big.csv"_s, big)), big);
}

TEST(CardListFileRead, UnreadableFilesRaiseAClearError)
{
    TTestEnvironment env;
    const auto messageOf = [](const QString &Path) -> std::string {
        try {
            ReadCardListFile(Path);
        } catch (const EAppError &error) {
            return error.Message().toStdString();
        }
        return "no error";
    };

    const QString missing = env.Path(u"gone.csv"_s);
    EXPECT_EQ(messageOf(missing), "Cannot open file \"" + missing.toStdString() + "\". No such file or directory");

    // A file that disappears between the choice and the reading.
    const QString vanishing = env.WriteFile(u"vanishing.csv"_s, "h\n");
    ASSERT_TRUE(QFile::remove(vanishing));
    EXPECT_EQ(messageOf(vanishing), "Cannot open file \"" + vanishing.toStdString() + "\". No such file or directory");

    const QString folder = env.Path(u"folder.csv"_s);
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(messageOf(folder), "Cannot open file \"" + folder.toStdString() + "\". Is a directory");

    // A FIFO would wait for a writer forever.
    const QString fifo = env.Path(u"pipe.csv"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(messageOf(fifo), "Cannot open file \"" + fifo.toStdString() + "\". Not a regular file");

    // Placeholders in the name stay as they are.
    const QString percent = env.Path(u"100%1 %2.csv"_s);
    EXPECT_EQ(messageOf(percent), "Cannot open file \"" + percent.toStdString() + "\". No such file or directory");

    EXPECT_EQ(messageOf(u"/dev/zero"_s), "Cannot open file \"/dev/zero\". Not a regular file");
    EXPECT_NE(messageOf(QString()), "no error");
}

// Runs Work in a child process whose address space may grow by at most ExtraMiB,
// so a load that reserves or builds far more than the file needs fails there.
bool runsWithinAddressSpace(qint64 ExtraMiB, const std::function<void()> &Work)
{
    qint64 sizeKiB = 0;
    QFile status(u"/proc/self/status"_s);
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmSize:"))
                sizeKiB = line.mid(7).trimmed().split(' ').first().toLongLong();
    const pid_t child = ::fork();
    if (child == 0) {
        const rlim_t limit = static_cast<rlim_t>((sizeKiB + ExtraMiB * 1024) * 1024);
        const rlimit bounds{limit, limit};
        ::setrlimit(RLIMIT_AS, &bounds);
        try {
            Work();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int wstatus = 0;
    ::waitpid(child, &wstatus, 0);
    return WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
}

TEST(CardListFileRead, MemoryFollowsTheFileNotTheLimit)
{
    TTestEnvironment env;
    const QString tiny = env.WriteFile(u"tiny.csv"_s, "Id;Name\n1;Opt\n");
    EXPECT_TRUE(runsWithinAddressSpace(200, [&] { ReadCardListFile(tiny); }));

    // 32 MB of line breaks: bytes and text are held once, lines never all at once.
    const QString breaks = env.WriteFile(u"breaks.csv"_s, QByteArray(32 * 1024 * 1024, '\n'));
    EXPECT_TRUE(runsWithinAddressSpace(400, [&] {
        TCardList cards;
        if (!ReadCardLines(DecodeCardListText(ReadCardListFile(breaks)), cards).WrongFormat)
            throw 1;
    }));
}
