#include "catalogue/ScanStore.h"

#include "platform/AnsiText.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

TGameCard card(int Id, const AnsiString &Language = "EN", int SubsetId = 0)
{
    TGameCard c;
    c.Id = Id;
    c.Language = Language;
    c.SubsetId = SubsetId;
    return c;
}

TGameCard named(const QString &Name, const AnsiString &Language = "EN")
{
    TGameCard c = card(77, Language);
    c.Name = Name;
    return c;
}

std::string safeName(const QString &Name)
{
    return named(Name).FileSafeName().toStdString();
}

std::string scanFileName(const TGameCard &Card, int Naming)
{
    return Card.ScanFileName(Naming).toStdString();
}

// ---------------------------------------------------------------------------
// File names

struct TTransliterationRow
{
    char16_t First;
    char16_t Last;
    const char *Text;
};

// Written out again here, not taken from the code: existing stores depend on it.
const TTransliterationRow kTransliterations[] = {
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

TEST(CardNaming, TransliterationAndRemovalAreExact)
{
    std::vector<bool> listed(0x0200, false);
    for (const TTransliterationRow &row : kTransliterations) {
        for (char16_t ch = row.First; ch <= row.Last; ++ch) {
            listed[ch] = true;
            // Between letters, so that a wrong removal shows as well.
            EXPECT_EQ(safeName(u"X"_s + QChar(ch) + u"y"_s), "x" + std::string(row.Text) + "y")
                << "U+" << std::hex << static_cast<int>(ch);
        }
    }
    // The neighbours of the ranges are not listed and pass through.
    for (char16_t ch = 0x00C0; ch < 0x0200; ++ch) {
        const QString name(QChar{ch});
        if (!listed[ch] && ch != 0x00F7) {
            EXPECT_EQ(safeName(name), name.toStdString()) << "U+" << std::hex << static_cast<int>(ch);
        }
    }

    QString removed;
    for (char16_t ch = 0x20; ch <= 0x7E; ++ch)
        if (!QChar(ch).isLetterOrNumber())
            removed += QChar(ch);
    ASSERT_EQ(removed.size(), 33);
    for (char16_t ch : {0x00A1, 0x00A9, 0x00AE, 0x00B0, 0x00B5, 0x00BF, 0x00F7})
        removed += QChar(ch);
    EXPECT_EQ(safeName(u"a"_s + removed + u"B9"_s), "ab9");
    EXPECT_EQ(safeName(u"\u00A2\u00B6"_s), "\u00A2\u00B6");
}

TEST(CardNaming, FileSafeNameExamplesAndHostileNames)
{
    EXPECT_EQ(safeName(u"Łódź -2!"_s), "lodz2");
    EXPECT_EQ(safeName(u"Ærø Œuvre Straße"_s), "aerooeuvrestrasse");
    // Only A to Z change case; Greek and Cyrillic stay, in UTF-8.
    EXPECT_EQ(safeName(u"ΑΒΓ Dog Жук"_s), "ΑΒΓdogЖук");

    // NUL, control characters and lone surrogate halves never reach a file name;
    // a complete pair is a character like any other.
    QString hostile = u"a"_s + QChar(0x0000) + u"b\t\n\x7f"_s + QChar(0xD800) + u"c"_s
                      + QChar(0xDC00) + u"\U0001D538"_s;
    EXPECT_EQ(safeName(hostile), "abc\xF0\x9D\x94\xB8");

    // A name too long for a file system is cut at a character boundary.
    const AnsiString longGreek = named(QString(300, QChar(0x03A9))).FileSafeName();
    EXPECT_EQ(longGreek.size(), 250);
    EXPECT_TRUE(IsValidUtf8(longGreek));
    EXPECT_EQ(named(QString(251, u'A')).FileSafeName(), AnsiString(251, 'a'));
    EXPECT_EQ(named(QString(400, u'A')).FileSafeName().size(), 251);
}

TEST(CardNaming, SubsetAndLanguageFolders)
{
    EXPECT_EQ(scanFileName(card(77, "EN"), 0), "77.jpg");
    EXPECT_EQ(scanFileName(card(77, "en"), 0), "77.jpg");
    EXPECT_EQ(scanFileName(card(77, ""), 0), "77.jpg");
    EXPECT_EQ(scanFileName(card(77, "PL"), 0), "pl/77.jpg");
    EXPECT_EQ(scanFileName(card(77, "DE", 1), 0), "foil/de/77.jpg");
    EXPECT_EQ(scanFileName(card(77, "EN", 51), 0), "tokef/77.jpg");
    for (int noCode : {9, 52, -1})
        EXPECT_EQ(scanFileName(card(77, "DE", noCode), 0), "de/77.jpg") << noCode;

    // A language code from a broken source stays inside the set's folder.
    EXPECT_EQ(scanFileName(card(77, ".."), 0), "77.jpg");
    EXPECT_EQ(scanFileName(card(77, "../../x"), 0), "....x/77.jpg");
    EXPECT_EQ(scanFileName(card(77, "A\\B"), 0), "ab/77.jpg");
}

TEST(CardNaming, NamingOptions)
{
    TGameCard c = named(u"Łódź -2!"_s, "PL");
    c.Number = -5;
    EXPECT_EQ(scanFileName(c, 0), "pl/77.jpg");
    EXPECT_EQ(scanFileName(c, 1), "pl/lodz2.jpg");
    EXPECT_EQ(scanFileName(c, 2), "pl/-5.jpg");
    EXPECT_EQ(scanFileName(c, 3), "pl/77.jpg");
    EXPECT_EQ(scanFileName(c, -1), "pl/77.jpg");
    EXPECT_EQ(scanFileName(named(u"-!?"_s), 1), ".jpg");

    // Names fall back to the id only for these languages, compared as stored.
    for (const char *language : {"CH", "JP", "RU", "TW", "KR", "HE"})
        EXPECT_EQ(scanFileName(named(u"Łódź"_s, language), 1),
                  AnsiLowerCase(language).toStdString() + "/77.jpg");
    EXPECT_EQ(scanFileName(named(u"Łódź"_s, "jp"), 1), "jp/lodz.jpg");
    EXPECT_EQ(scanFileName(named(u"Łódź"_s, "Ru"), 1), "ru/lodz.jpg");
}

// ---------------------------------------------------------------------------
// The store on disk

class ScanStore : public ::testing::Test
{
protected:
    ScanStore()
    {
        game_.Code = u"XY"_s;
        set_.Code = u"Abc"_s;
        dirs_ = GetStorePaths(&game_, &set_);
    }

    // A file (or a folder) at Quality/xy/abc/Name in the store; returns its path.
    QString put(const QString &Quality, const QString &Name, bool Folder = false)
    {
        const QString relative = u"bin/pics/"_s + Quality + u"/xy/abc/"_s + Name;
        if (Folder)
            QDir().mkpath(env_.Path(relative));
        return Folder ? env_.Path(relative) : env_.WriteFile(relative, "jpeg");
    }

    TTestEnvironment env_;
    TGame game_;
    TExpansion set_;
    TStorePaths dirs_;
};

TEST_F(ScanStore, FoldersOfGameAndSet)
{
    EXPECT_EQ(dirs_.VhqDir, env_.ExeDir() + u"pics/VHQ/xy/abc/"_s);
    EXPECT_EQ(GetStorePaths(nullptr, nullptr).WebDir, env_.ExeDir() + u"pics/WEB/"_s);
}

TEST_F(ScanStore, MarkLocalScans)
{
    TCardList cards;
    auto add = [&cards](const QString &Name, const AnsiString &ScanFile) {
        auto c = std::make_unique<TGameCard>(named(Name, "DE"));
        c->ScanFile = ScanFile;
        cards.Add(Name, std::move(c));
    };
    add(u"Mq"_s, "x.jpg");
    add(u"Web"_s, "x.jpg");    // the web folder is not examined
    add(u"None"_s, "");
    add(u"Vhq"_s, "");         // VHQ beats HQ
    add(u"Folder"_s, "");      // a folder where the file would be
    put(u"MQ"_s, u"de/mq.jpg"_s);
    put(u"WEB"_s, u"de/web.jpg"_s);
    put(u"VHQ"_s, u"de/vhq.jpg"_s);
    put(u"HQ"_s, u"de/vhq.jpg"_s);
    put(u"VHQ"_s, u"de/folder.jpg"_s, true);

    MarkLocalScans(&game_, &set_, cards, 0);   // id-based names: none exist
    EXPECT_EQ(cards.Objects(0)->ScanStatus, ScanWeb);
    EXPECT_EQ(cards.Objects(3)->ScanStatus, ScanNone);

    MarkLocalScans(&game_, &set_, cards, 1);
    const std::vector<int> expected = {ScanMQ, ScanWeb, ScanNone, ScanVHQ, ScanNone};
    for (int i = 0; i < cards.Count(); ++i)
        EXPECT_EQ(cards.Objects(i)->ScanStatus, expected[static_cast<size_t>(i)]) << i;

    // Marked again, the list follows the store: a scan gone lowers the status,
    // one reached through a linked folder counts.
    QFile::remove(dirs_.VhqDir + u"de/vhq.jpg"_s);
    QFile::remove(dirs_.MqDir + u"de/mq.jpg"_s);
    ASSERT_TRUE(QDir(dirs_.MqDir).rmdir(u"de"_s));
    const QString elsewhere = QFileInfo(env_.WriteFile(u"elsewhere/none.jpg"_s, "jpeg")).path();
    ASSERT_TRUE(QFile::link(elsewhere, dirs_.MqDir + u"de"_s));
    MarkLocalScans(&game_, &set_, cards, 1);
    const std::vector<int> again = {ScanWeb, ScanWeb, ScanMQ, ScanHQ, ScanNone};
    for (int i = 0; i < cards.Count(); ++i)
        EXPECT_EQ(cards.Objects(i)->ScanStatus, again[static_cast<size_t>(i)]) << i;
}

TEST_F(ScanStore, FindCardScanOrderOfQualitiesAndNamings)
{
    TGameCard c = named(u"Goblin"_s, "DE");
    c.SubsetId = 1;
    c.Number = 12;
    const QString web = put(u"WEB"_s, u"foil/de/12.jpg"_s);
    auto found = FindCardScan(c, dirs_);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Path, web);
    EXPECT_EQ(found->Level, ScanWeb);

    put(u"MQ"_s, u"foil/de/goblin.jpg"_s);
    const QString byId = put(u"HQ"_s, u"foil/de/77.jpg"_s);
    EXPECT_EQ(FindCardScan(c, dirs_)->Path, byId);
    EXPECT_EQ(c.ScanStatus, ScanHQ);

    // Within one folder: by name, then by number, then by id.
    const QString byNumber = put(u"HQ"_s, u"foil/de/12.jpg"_s);
    EXPECT_EQ(FindCardScan(c, dirs_)->Path, byNumber);
    const QString byName = put(u"HQ"_s, u"foil/de/goblin.jpg"_s);
    EXPECT_EQ(FindCardScan(c, dirs_)->Path, byName);
}

TEST_F(ScanStore, CatalogueScanFileComesBeforeEveryNameBasedCandidate)
{
    // The catalogue's name equals the id-based one: its web copy wins over an
    // HQ scan saved under the card's name.
    TGameCard c = named(u"Goblin"_s);
    c.ScanFile = "77.jpg";
    const QString web = put(u"WEB"_s, u"77.jpg"_s);
    put(u"HQ"_s, u"goblin.jpg"_s);
    auto found = FindCardScan(c, dirs_);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Path, web);
    EXPECT_EQ(found->Level, ScanWeb);

    // Windows separators in the catalogue's name lead into sub-folders.
    c.ScanFile = "foil\\cat 77.jpg";
    const QString mq = put(u"MQ"_s, u"foil/cat 77.jpg"_s);
    EXPECT_EQ(FindCardScan(c, dirs_)->Path, mq);
    EXPECT_EQ(c.ScanStatus, ScanMQ);
}

TEST_F(ScanStore, CatalogueScanFileCannotLeaveTheQualityFolder)
{
    // Real files that these names would reach.
    env_.WriteFile(u"bin/pics/WEB/xy/outside.jpg"_s, "jpeg");
    const QString absolute = env_.WriteFile(u"elsewhere.jpg"_s, "jpeg");

    for (const AnsiString &scanFile :
         {AnsiString("../outside.jpg"), AnsiString("..\\outside.jpg"),
          AnsiString("sub/../../outside.jpg"), ToAnsi(absolute), AnsiString("C:\\elsewhere.jpg")}) {
        TGameCard c = card(1);
        c.ScanFile = scanFile;
        c.ScanStatus = ScanWeb;
        EXPECT_FALSE(FindCardScan(c, dirs_)) << scanFile.constData();
        EXPECT_EQ(c.ScanStatus, ScanWeb);
    }
}

TEST_F(ScanStore, FoldersNeverMatchAndStatusStays)
{
    TGameCard c = named(u"Goblin"_s, "DE");
    c.ScanStatus = ScanMQ;
    for (const QString &quality : {u"WEB"_s, u"MQ"_s, u"HQ"_s, u"VHQ"_s})
        for (const QString &name : {u"de/77.jpg"_s, u"de/goblin.jpg"_s, u"de/0.jpg"_s})
            put(quality, name, true);
    // The empty catalogue name stands for the quality folder itself, which exists too.
    EXPECT_FALSE(FindCardScan(c, dirs_));
    EXPECT_EQ(c.ScanStatus, ScanMQ);
}

} // namespace

TEST(ScanStoreFolders, CodesFromABrokenSourceStayInsideTheStore)
{
    TTestEnvironment env;
    TGame game;
    game.Code = QStringLiteral("../../Evil");
    TExpansion set;
    set.Code = QStringLiteral("..");
    const TStorePaths paths = GetStorePaths(&game, &set);
    EXPECT_EQ(paths.WebDir, ScanStoreRoot() + QStringLiteral("WEB/....evil/"));
    // Plain codes keep the store's layout.
    game.Code = QStringLiteral("XY");
    set.Code = QStringLiteral("2010-03-27 140509");
    EXPECT_EQ(GetStorePaths(&game, &set).HqDir, ScanStoreRoot() + QStringLiteral("HQ/xy/2010-03-27 140509/"));
}
