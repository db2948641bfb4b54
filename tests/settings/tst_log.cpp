#include "settings/T_Log.h"

#include "platform/AppError.h"
#include "platform/AppPaths.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <memory>

namespace {

// A temporary HOME whose state folder exists; the log lands in it or its "Vellumora/log".
class TMyLogTest : public ::testing::Test
{
protected:
    TTestEnvironment env;
    QString stateDir = env.Path(QStringLiteral("home/.local/state/"));
    QString logDir = stateDir + QStringLiteral("Vellumora/log/");

    void SetUp() override { QDir().mkpath(stateDir); }

    static QByteArray readAll(const QString &FileName)
    {
        QFile file(FileName);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The file's lines, which must all end in CR LF.
    static QStringList linesOf(const QString &FileName)
    {
        QString text = QString::fromUtf8(readAll(FileName));
        if (text.isEmpty())
            return {};
        EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
        text.chop(2);
        return text.split(QStringLiteral("\r\n"));
    }

    // The line's text after its time stamp.
    static QStringList textsOf(const QString &FileName)
    {
        QStringList texts;
        for (const QString &line : linesOf(FileName))
            texts.append(line.mid(18));
        return texts;
    }

    // A sparse file of the given size, created quickly.
    static void makeFile(const QString &FileName, qint64 Size)
    {
        QDir().mkpath(QFileInfo(FileName).absolutePath());
        QFile file(FileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(Size));
    }
};

} // namespace

TEST_F(TMyLogTest, WithoutLogFolderTheFileGoesIntoTheStateFolder)
{
    TMyLog log;
    EXPECT_EQ(log.FileName, stateDir + QStringLiteral("Vellumora000.log"));
    EXPECT_EQ(log.MaxLines, 200);

    QDir().mkpath(logDir);
    TMyLog second;
    EXPECT_EQ(second.FileName, logDir + QStringLiteral("Vellumora000.log"));
}

TEST_F(TMyLogTest, NameFollowsTheExecutableWithItsExtensionReplaced)
{
    SetExeFileNameOverride(env.Path(QStringLiteral("my.tools/Scan.App.bin")));
    EXPECT_EQ(DefaultLogFileName(), stateDir + QStringLiteral("Scan.App.log"));
    TMyLog log;
    EXPECT_EQ(log.FileName, stateDir + QStringLiteral("Scan.App000.log"));
}

TEST_F(TMyLogTest, BatchesWithOneLineAndErrorsAreWrittenAtOnce)
{
    TMyLog log;
    log.MaxLines = 1;
    log.Add(QStringLiteral("one"));
    EXPECT_FALSE(QFile::exists(log.FileName));
    log.Add(QStringLiteral("two"));
    EXPECT_EQ(textsOf(log.FileName), (QStringList{"one", "two"}));

    log.Add(QStringLiteral("three"));
    log.AddError(QStringLiteral("four"));
    EXPECT_EQ(textsOf(log.FileName), (QStringList{"one", "two", "three", "ERR four"}));

    // Empty texts neither buffer nor write anything.
    log.Add(QString());
    log.AddError(QString());
    EXPECT_TRUE(log.Lines.isEmpty());
    EXPECT_EQ(linesOf(log.FileName).size(), 4);
}

TEST_F(TMyLogTest, DefaultBatchIsWrittenWithThe201stLine)
{
    TMyLog log;
    for (int i = 1; i <= 200; ++i)
        log.Add(QString::number(i));
    EXPECT_FALSE(QFile::exists(log.FileName));
    log.Add(QStringLiteral("201"));
    const QStringList texts = textsOf(log.FileName);
    ASSERT_EQ(texts.size(), 201);
    EXPECT_EQ(texts.first(), QStringLiteral("1"));
    EXPECT_EQ(texts.last(), QStringLiteral("201"));
}

TEST_F(TMyLogTest, LinesCarryARegionalTimeStampAndErrorPrefix)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime before = QDateTime::currentDateTime();
    {
        TMyLog log;
        log.AddError(QStringLiteral("Größe ✓"));
    }
    const QDateTime after = QDateTime::currentDateTime();
    QLocale::setDefault(saved);

    const QByteArray bytes = readAll(stateDir + QStringLiteral("Vellumora000.log"));
    EXPECT_TRUE(bytes.endsWith(QStringLiteral(" ERR Größe ✓\r\n").toUtf8()));
    const QString line = QString::fromUtf8(bytes);
    const QRegularExpression stamp(QStringLiteral(R"(^\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d ERR )"));
    EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
    const QString date = line.left(8);
    EXPECT_TRUE(date == before.toString(QStringLiteral("yy.MM.dd"))
                || date == after.toString(QStringLiteral("yy.MM.dd")))
        << date.toStdString();
}

TEST_F(TMyLogTest, DestroyingWritesTheBuffer)
{
    auto log = std::make_unique<TMyLog>();
    const QString fileName = log->FileName;
    log->Add(QStringLiteral("a"));
    log->Add(QStringLiteral("b"));
    EXPECT_FALSE(QFile::exists(fileName));
    log.reset();
    EXPECT_EQ(textsOf(fileName), (QStringList{"a", "b"}));
}

TEST_F(TMyLogTest, AFileOfExactlyOneMebibyteIsNotFull)
{
    const QString first = logDir + QStringLiteral("Vellumora000.log");
    makeFile(first, MaxLogFileSize);
    TMyLog log;
    EXPECT_EQ(log.FileName, first);
    log.AddError(QStringLiteral("x"));
    EXPECT_GT(QFileInfo(first).size(), MaxLogFileSize);
    EXPECT_FALSE(QFile::exists(logDir + QStringLiteral("Vellumora001.log")));

    // Now one byte over: the next write moves on.
    log.AddError(QStringLiteral("y"));
    EXPECT_EQ(log.FileName, logDir + QStringLiteral("Vellumora001.log"));
    EXPECT_EQ(textsOf(log.FileName), (QStringList{"ERR y"}));
}

TEST_F(TMyLogTest, StartUpSkipsFullFiles)
{
    makeFile(logDir + QStringLiteral("Vellumora000.log"), MaxLogFileSize + 1);
    makeFile(logDir + QStringLiteral("Vellumora001.log"), MaxLogFileSize + 1);
    makeFile(logDir + QStringLiteral("Vellumora003.log"), 10);
    TMyLog log;
    EXPECT_EQ(log.FileName, logDir + QStringLiteral("Vellumora002.log"));
}

TEST_F(TMyLogTest, NumbersGoOnPast999)
{
    TMyLog log;
    log.FileName = logDir + QStringLiteral("Vellumora999.log");
    makeFile(log.FileName, MaxLogFileSize + 1);
    EXPECT_TRUE(log.NextFileIfFull());
    EXPECT_EQ(log.FileName, logDir + QStringLiteral("Vellumora1000.log"));
    makeFile(log.FileName, MaxLogFileSize + 1);
    EXPECT_TRUE(log.NextFileIfFull());
    EXPECT_EQ(log.FileName, logDir + QStringLiteral("Vellumora1001.log"));
    EXPECT_FALSE(log.NextFileIfFull());
}

TEST_F(TMyLogTest, FailedWriteKeepsEveryLineInOrderWithTheMarker)
{
    TMyLog log;
    log.MaxLines = 1;
    // A regular file where the log's folder should be makes every write fail.
    const QString blocker = stateDir + QStringLiteral("blocked");
    makeFile(blocker, 0);
    log.FileName = blocker + QStringLiteral("/Vellumora000.log");

    log.Add(QStringLiteral("a"));
    log.Add(QStringLiteral("b")); // a write of MaxLines + 1 lines fails: marker
    ASSERT_EQ(log.Lines.size(), 3);
    EXPECT_EQ(log.Lines.last(), QStringLiteral("Cannot save log"));
    log.Add(QStringLiteral("c")); // fails again, 4 lines: no second marker
    EXPECT_EQ(log.Lines.size(), 4);

    ASSERT_TRUE(QFile::remove(blocker));
    ASSERT_TRUE(QDir().mkpath(blocker));
    log.Add(QStringLiteral("d"));
    EXPECT_TRUE(log.Lines.isEmpty());
    const QStringList lines = linesOf(log.FileName);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0].mid(18), QStringLiteral("a"));
    EXPECT_EQ(lines[1].mid(18), QStringLiteral("b"));
    EXPECT_EQ(lines[2], QStringLiteral("Cannot save log"));
    EXPECT_EQ(lines[3].mid(18), QStringLiteral("c"));
    EXPECT_EQ(lines[4].mid(18), QStringLiteral("d"));
}

TEST_F(TMyLogTest, FailedErrorWriteOfOneLineAddsNoMarker)
{
    TMyLog log;
    log.MaxLines = 1;
    makeFile(stateDir + QStringLiteral("blocked"), 0);
    log.FileName = stateDir + QStringLiteral("blocked/Vellumora000.log");
    log.AddError(QStringLiteral("e"));
    ASSERT_EQ(log.Lines.size(), 1);
    EXPECT_TRUE(log.Lines[0].endsWith(QStringLiteral("ERR e")));
}

TEST_F(TMyLogTest, UnreadableSizeIsRaisedAndLosesNoLine)
{
    // A folder where the log file should be: its size cannot be read.
    const QString fileName = stateDir + QStringLiteral("Vellumora000.log");
    QDir().mkpath(fileName);
    EXPECT_THROW(TMyLog(), EAppError);

    ASSERT_TRUE(QDir(fileName).removeRecursively());
    TMyLog log;
    log.MaxLines = 1;
    log.Add(QStringLiteral("a"));
    QDir().mkpath(fileName);
    EXPECT_THROW(log.Add(QStringLiteral("b")), EAppError);
    EXPECT_EQ(log.Lines.size(), 3);

    ASSERT_TRUE(QDir(fileName).removeRecursively());
    log.Flush();
    EXPECT_EQ(textsOf(fileName).mid(0, 2), (QStringList{"a", "b"}));
    EXPECT_EQ(linesOf(fileName).value(2), QStringLiteral("Cannot save log"));
}
