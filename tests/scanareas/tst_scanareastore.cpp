#include "TestHelpers.h"

#include "platform/AppError.h"
#include "scanareas/ScanAreaStore.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray readFile(const QString &FileName)
{
    QFile file(FileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<const TScanArea *> pointers(const std::vector<TScanArea> &Areas)
{
    std::vector<const TScanArea *> out;
    for (const TScanArea &area : Areas)
        out.push_back(&area);
    return out;
}

// Name, quality, unit and the four coordinates in one comparable line.
QString describe(const TScanArea &A)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(A.Name).arg(A.Quality).arg(A.Units).arg(A.Left, 0, 'g', 17).arg(A.Top, 0, 'g', 17)
        .arg(A.Width, 0, 'g', 17).arg(A.Height, 0, 'g', 17);
}
QStringList describe(const std::vector<TScanArea> &Areas)
{
    QStringList lines;
    for (const TScanArea &area : Areas)
        lines << describe(area);
    return lines;
}

class ScanAreaStoreTest : public ::testing::Test
{
protected:
    QString dir() const { return ScanAreaStoreDir(); }
    QString store() const { return dir() + ScanAreaStoreName(); }
    QString backup() const { return dir() + ScanAreaBackupName(); }

    TTestEnvironment env_;
    TLocaleGuard locale_{TLocaleGuard::Point()};
};

} // namespace

TEST(ScanAreaParse, EveryKeyTakesItsOwnDefaultAndClamp)
{
    TLocaleGuard locale(TLocaleGuard::Point());
    const auto areas = ParseScanAreas(
        "[OnlyWidth]\nWidth=2.5\n"
        "[Clamped]\nQuality=200\nUnits=3\n"
        "[LowByte]\nQuality=600\nUnits=256\n[Negative]\nQuality=300\nUnits=-255\n"
        "[Garbage]\nQuality=abc\nUnits=1x\nLeft=nan\nTop=inf\nWidth=2;5\nHeight=\n"
        "[Numbers]\nQuality=+300\nUnits=1\nLeft=-0\nTop=1e308\nWidth= 0.1 \nHeight=100\n"
        "[Huge]\nQuality=4294967596\nUnits=4294967297\nWidth=1e400\n");
    EXPECT_EQ(describe(areas), QStringList({
        QStringLiteral("OnlyWidth 150 0 0 0 2.5 100"), QStringLiteral("Clamped 150 5 0 0 100 100"),
        QStringLiteral("LowByte 600 0 0 0 100 100"), QStringLiteral("Negative 300 1 0 0 100 100"),
        QStringLiteral("Garbage 150 0 0 0 100 100"), QStringLiteral("Numbers 300 1 0 1e+308 0.10000000000000001 100"),
        QStringLiteral("Huge 150 0 0 0 100 100")}));
}

TEST(ScanAreaParse, MalformedFilesGiveWhatCanBeRead)
{
    TLocaleGuard locale(TLocaleGuard::Point());
    static const char text[] = "\xff\xfe\x01junk before any section\nWidth=7\n"
                           "[Caf\xe9]\nWidth=3\n"                     // not UTF-8
                           "[Std]\nWidth=1\n[ broken section\n"
                           "[STD]\nHeight=4\nWidth=2\n"                 // the same section
                           "[]\nWidth=9\n=novalue\n\xc3\xc3\xc3\n"
                           "[Last]\nWidth=5\n\0[AfterNul]\n";
    const QByteArray bytes(text, sizeof text - 1);
    EXPECT_EQ(describe(ParseScanAreas(bytes)),
              QStringList({QString::fromUtf8("Caf\xc3\xa9 150 0 0 0 3 100"),
                           QStringLiteral("Std 150 0 0 0 2 4"), QStringLiteral("Last 150 0 0 0 5 100")}));
}

TEST_F(ScanAreaStoreTest, RoundTripUnderBothSeparators)
{
    const std::vector<TScanArea> areas = {
        {QStringLiteral("Standard"), 300, 0, 0.1, 0.1, 2.5, 3.5},
        {QString::fromUtf8("Gro\xc3\x9f"), 150, 1, 0, 100, 1e300, 1e-300},
        {QStringLiteral("Pixels"), 600, 5, 12.75, 0, 100, 1234567.125},
    };
    for (const QLocale &l : {TLocaleGuard::Point(), TLocaleGuard::Comma()}) {
        TLocaleGuard locale(l);
        WriteScanAreaStore(dir(), pointers(areas));
        EXPECT_EQ(describe(ReadScanAreaStore(store())), describe(areas));
        // Started from another locale (a desktop launcher, a terminal), the store still reads.
        {
            TLocaleGuard other(l == TLocaleGuard::Point() ? TLocaleGuard::Comma() : TLocaleGuard::Point());
            EXPECT_EQ(describe(ReadScanAreaStore(store())), describe(areas));
        }
        const QString expected = QStringLiteral("[Standard]\nQuality=300\nUnits=0\nLeft=0.1\nTop=0.1\n"
                                                "Width=2.5\nHeight=3.5\n")
                                     .replace(QLatin1Char('.'), l.decimalPoint());
        EXPECT_TRUE(readFile(store()).startsWith(expected.toUtf8())) << readFile(store()).constData();
    }
}

TEST_F(ScanAreaStoreTest, OneBackupHoldsTheStateBeforeTheLastSave)
{
    std::vector<TScanArea> areas = {{QStringLiteral("A"), 300, 0, 0, 0, 1, 1}};
    EXPECT_TRUE(ReadScanAreaStore(store()).empty());
    WriteScanAreaStore(dir(), pointers(areas));
    EXPECT_FALSE(QFile::exists(backup()));

    QByteArray previous = readFile(store());
    for (double width : {2.0, 3.0}) {
        areas[0].Width = width;
        WriteScanAreaStore(dir(), pointers(areas));
        EXPECT_EQ(readFile(backup()), previous);
        previous = readFile(store());
    }
    EXPECT_EQ(QDir(dir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              QStringList({ScanAreaStoreName(), ScanAreaBackupName()}));

    // Without areas only the backup remains; a second such save keeps it.
    WriteScanAreaStore(dir(), {});
    WriteScanAreaStore(dir(), {});
    EXPECT_FALSE(QFile::exists(store()));
    EXPECT_EQ(readFile(backup()), previous);
}

TEST_F(ScanAreaStoreTest, AFailedSaveKeepsStoreAndBackup)
{
    const std::vector<TScanArea> before = {{QStringLiteral("Old"), 300, 0, 0, 0, 1, 1}};
    const std::vector<TScanArea> after = {{QStringLiteral("New"), 600, 1, 0, 0, 2, 2}};
    WriteScanAreaStore(dir(), pointers(before));
    WriteScanAreaStore(dir(), pointers(before));
    const QByteArray store0 = readFile(store());
    const QByteArray backup0 = readFile(backup());

    // The new text cannot be written.
    ASSERT_TRUE(QDir(dir()).mkdir(ScanAreaTempName()));
    EXPECT_THROW(WriteScanAreaStore(dir(), pointers(after)), EAppError);
    EXPECT_EQ(readFile(store()), store0);
    EXPECT_EQ(readFile(backup()), backup0);
    ASSERT_TRUE(QDir(dir()).rmdir(ScanAreaTempName()));

    // The backup cannot be replaced once the new store is in place: it is taken back.
    QFile::remove(backup());
    ASSERT_TRUE(QDir(dir()).mkdir(ScanAreaBackupName()));
    try {
        WriteScanAreaStore(dir(), pointers(after));
        ADD_FAILURE() << "no error";
    } catch (const EAppError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("scan areas.ini"))) << e.what();
    }
    EXPECT_EQ(readFile(store()), store0);
    ASSERT_TRUE(QDir(dir()).rmdir(ScanAreaBackupName()));

    // The store's own name is taken by a folder.
    QFile::copy(store(), backup());
    QFile::remove(store());
    ASSERT_TRUE(QDir(dir()).mkdir(ScanAreaStoreName()));
    EXPECT_TRUE(ReadScanAreaStore(store()).empty());
    EXPECT_THROW(WriteScanAreaStore(dir(), pointers(after)), EAppError);
    EXPECT_EQ(readFile(backup()), store0);
    EXPECT_EQ(QDir(dir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              QStringList({ScanAreaStoreName(), ScanAreaBackupName()}));

    // The folder itself cannot be made.
    const QString blocker = env_.WriteFile(QStringLiteral("blocker"), "x");
    EXPECT_THROW(WriteScanAreaStore(blocker + QStringLiteral("/sub"), pointers(after)), EAppError);
}

TEST_F(ScanAreaStoreTest, NamesASectionHeaderCannotHoldAreLeftOut)
{
    const std::vector<TScanArea> areas = {
        {QStringLiteral("Before"), 300, 0, 0, 0, 1, 1},
        {QStringLiteral("a]b"), 300, 0, 0, 0, 2, 2},
        {QStringLiteral("two\nlines"), 300, 0, 0, 0, 3, 3},
        {QStringLiteral("After"), 150, 0, 0, 0, 4, 4},
    };
    WriteScanAreaStore(dir(), pointers(areas));
    EXPECT_EQ(describe(ReadScanAreaStore(store())),
              QStringList({describe(areas[0]), describe(areas[3])}));
}

TEST_F(ScanAreaStoreTest, CardSizeKeysRoundTripAndOlderFilesReadAsBefore)
{
    const auto cardOf = [](const TScanArea &A) {
        return QStringLiteral("%1 %2 %3x%4 %5")
            .arg(A.Name).arg(A.CropToCard).arg(A.CardWidth).arg(A.CardHeight).arg(A.SeveralCards);
    };
    std::vector<TScanArea> areas = {
        {QStringLiteral("Crop"), 600, 1, 1, 1, 8, 10, true, 6.3, 8.8},
        {QStringLiteral("Glass"), 300, 1, 0, 0, 21, 29.7, false, 6.3, 8.8, true},
        {QStringLiteral("Plain"), 300, 0, 0, 0, 2.5, 3.5},
        {QStringLiteral("Size kept"), 300, 0, 0, 0, 3, 4, false, 2.5, 3.5},
    };
    WriteScanAreaStore(dir(), pointers(areas));
    const std::vector<TScanArea> read = ReadScanAreaStore(store());
    ASSERT_EQ(read.size(), areas.size());
    for (size_t i = 0; i < areas.size(); ++i) {
        EXPECT_EQ(describe(read[i]), describe(areas[i]));
        EXPECT_EQ(cardOf(read[i]), cardOf(areas[i]));
    }
    const QByteArray text = readFile(store());
    EXPECT_TRUE(text.contains("[Crop]\nQuality=600\nUnits=1\nLeft=1\nTop=1\nWidth=8\nHeight=10\n"
                              "CropToCard=1\nCardWidth=6.3\nCardHeight=8.8\n"));
    // Older readers see an area that keeps the whole frame.
    EXPECT_TRUE(text.contains("CropToCard=0\nCardWidth=6.3\nCardHeight=8.8\nSeveralCards=1\n"));
    // An area that does not crop is written as it always was.
    const qsizetype plain = text.indexOf("[Plain]");
    EXPECT_FALSE(text.mid(plain, text.indexOf("[Size kept]") - plain).contains("Card")) << text.constData();

    const auto parsed = ParseScanAreas("[Old]\nWidth=2\n[Odd]\nCropToCard=yes\nCardWidth=-3\nCardHeight=abc\n"
                                       "SeveralCards=2\n[Both]\nCropToCard=1\nSeveralCards=1\n");
    ASSERT_EQ(parsed.size(), 3u);
    EXPECT_EQ(cardOf(parsed[0]), QStringLiteral("Old 0 0x0 0"));
    EXPECT_EQ(cardOf(parsed[1]), QStringLiteral("Odd 0 0x0 0"));
    EXPECT_EQ(cardOf(parsed[2]), QStringLiteral("Both 0 0x0 1"));   // several cards win
}
