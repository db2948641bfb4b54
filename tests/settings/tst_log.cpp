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

    // The file's lines, each ended by CR LF; Stamped ones lose their time stamp.
    static QStringList linesOf(const QString &FileName, bool Stamped = true)
    {
        const QString text = QString::fromUtf8(readAll(FileName));
        EXPECT_TRUE(text.isEmpty() || text.endsWith(QStringLiteral("\r\n")));
        QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        if (Stamped)
            for (QString &line : lines)
                line.remove(0, 18);
        return lines;
    }

    // Sparse, so a full file costs nothing.
    static void makeFile(const QString &FileName, qint64 Size)
    {
        QDir().mkpath(QFileInfo(FileName).absolutePath());
        QFile file(FileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(Size));
    }
};

} // namespace

TEST_F(TMyLogTest, FileIsNamedAfterTheExecutableInTheLogFolderWhenItExists)
{
    EXPECT_EQ(TMyLog().FileName, stateDir + QStringLiteral("Vellumora000.log"));

    QDir().mkpath(logDir);
    SetExeFileNameOverride(env.Path(QStringLiteral("my.tools/Scan.App.bin")));
    EXPECT_EQ(TMyLog().FileName, logDir + QStringLiteral("Scan.App000.log"));
}

TEST_F(TMyLogTest, LinesAreBatchedAndErrorsWrittenAtOnce)
{
    TMyLog log;
    log.MaxLines = 1;
    log.Add(QStringLiteral("one"));
    EXPECT_FALSE(QFile::exists(log.FileName));
    log.Add(QStringLiteral("two"));
    EXPECT_EQ(linesOf(log.FileName), (QStringList{"one", "two"}));
    log.Add(QStringLiteral("three"));
    log.AddError(QStringLiteral("four"));
    log.Add(QString());
    log.AddError(QString());
    EXPECT_EQ(linesOf(log.FileName), (QStringList{"one", "two", "three", "ERR four"}));
    EXPECT_TRUE(log.Lines.isEmpty());

    TMyLog byDefault;
    for (int i = 1; i <= 200; ++i)
        byDefault.Add(QString::number(i));
    byDefault.Add(QStringLiteral("201"));
    EXPECT_EQ(linesOf(byDefault.FileName).size(), 201 + 4);
}

TEST_F(TMyLogTest, LinesCarryARegionalTimeStampAndAreUtf8)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString before = QDateTime::currentDateTime().toString(QStringLiteral("yy.MM.dd hh:mm:"));
    TMyLog().AddError(QStringLiteral("Größe ✓"));
    const QString after = QDateTime::currentDateTime().toString(QStringLiteral("yy.MM.dd hh:mm:"));
    QLocale::setDefault(saved);

    const QByteArray bytes = readAll(stateDir + QStringLiteral("Vellumora000.log"));
    EXPECT_TRUE(bytes.endsWith(QStringLiteral(" ERR Größe ✓\r\n").toUtf8()));
    const QString stamp = QString::fromUtf8(bytes.left(15));
    EXPECT_TRUE(stamp == before || stamp == after) << stamp.toStdString();
}

TEST_F(TMyLogTest, DestroyingWritesTheBuffer)
{
    auto log = std::make_unique<TMyLog>();
    const QString fileName = log->FileName;
    log->Add(QStringLiteral("a"));
    log->Add(QStringLiteral("b"));
    EXPECT_FALSE(QFile::exists(fileName));
    log.reset();
    EXPECT_EQ(linesOf(fileName), (QStringList{"a", "b"}));
}

TEST_F(TMyLogTest, AFileIsFullPastOneMebibyteAtStartAndDuringARun)
{
    const QString first = logDir + QStringLiteral("Vellumora000.log");
    makeFile(first, MaxLogFileSize);
    TMyLog log;
    EXPECT_EQ(log.FileName, first);
    log.AddError(QStringLiteral("x")); // now one byte too many
    log.AddError(QStringLiteral("y"));
    EXPECT_EQ(log.FileName, logDir + QStringLiteral("Vellumora001.log"));
    EXPECT_EQ(linesOf(log.FileName), QStringList{"ERR y"});

    makeFile(logDir + QStringLiteral("Vellumora001.log"), MaxLogFileSize + 1);
    makeFile(logDir + QStringLiteral("Vellumora003.log"), 10);
    EXPECT_EQ(TMyLog().FileName, logDir + QStringLiteral("Vellumora002.log"));
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

TEST_F(TMyLogTest, FailedWritesKeepEveryLineInOrder)
{
    // A regular file where the log's folder should be makes every write fail.
    const QString blocker = stateDir + QStringLiteral("blocked");
    makeFile(blocker, 0);
    TMyLog log;
    log.MaxLines = 1;
    log.FileName = blocker + QStringLiteral("/Vellumora000.log");

    log.AddError(QStringLiteral("e")); // one line kept: no marker
    EXPECT_EQ(log.Lines.size(), 1);
    log.Lines.clear();
    log.Add(QStringLiteral("a"));
    log.Add(QStringLiteral("b"));      // exactly MaxLines + 1 kept: marker
    ASSERT_EQ(log.Lines.size(), 3);
    log.Add(QStringLiteral("c"));      // four lines: no second marker

    ASSERT_TRUE(QFile::remove(blocker) && QDir().mkpath(blocker));
    log.Add(QStringLiteral("d"));
    EXPECT_TRUE(log.Lines.isEmpty());
    const QStringList lines = linesOf(log.FileName, false);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" a")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(" b")));
    EXPECT_EQ(lines[2], QStringLiteral("Cannot save log"));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(" c")));
    EXPECT_TRUE(lines[4].endsWith(QStringLiteral(" d")));
}

TEST_F(TMyLogTest, AnUnusableLogFileNeverRaisesIntoTheCallerAndLosesNoLine)
{
    // A folder where the log file should be: it can be neither read nor written.
    const QString fileName = stateDir + QStringLiteral("Vellumora000.log");
    QDir().mkpath(fileName);
    TMyLog log;
    log.MaxLines = 1;
    log.Add(QStringLiteral("a"));
    EXPECT_NO_THROW(log.Add(QStringLiteral("b")));

    ASSERT_TRUE(QDir(fileName).removeRecursively());
    log.Flush();
    EXPECT_EQ(linesOf(fileName).mid(0, 2), (QStringList{"a", "b"}));
}
