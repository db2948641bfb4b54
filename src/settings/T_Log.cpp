#include "settings/T_Log.h"

#include "platform/AnsiText.h"
#include "platform/AppError.h"
#include "platform/AppPaths.h"
#include "platform/LocaleFormat.h"
#include "platform/MessageCatalogue.h"

#include <QDateTime>
#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

TMyLog *AppLog = nullptr;

void LogLine(const QString &Text)
{
    if (AppLog)
        AppLog->Add(Text);
}

void LogError(const QString &Text)
{
    if (AppLog)
        AppLog->AddError(Text);
}

namespace {

const QString LineEnd = QStringLiteral("\r\n");

// Where the extension's dot stands, or the end when the file name has none; a dot
// in a folder name never counts.
qsizetype extensionStart(const QString &Path)
{
    const qsizetype dot = Path.lastIndexOf(QLatin1Char('.'));
    return dot > Path.lastIndexOf(PathDelim) ? dot : Path.size();
}

bool isAsciiDigit(QChar C)
{
    return C >= QLatin1Char('0') && C <= QLatin1Char('9');
}

// Appends and closes at once: no handle is kept between batches.
bool appendToFile(const QString &FileName, const QByteArray &Bytes)
{
    QFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    if (file.write(Bytes) != Bytes.size() || !file.flush())
        return false;
    file.close();
    return file.error() == QFileDevice::NoError;
}

} // namespace

QString DefaultLogFileName()
{
    const QString common = IncludeTrailingPathDelimiter(CommonAppDataDir());
    // On Windows the common folder always exists; the XDG state folder of a new
    // account may not, and without it no log could ever be written.
    if (common.size() > 1)
        QDir().mkpath(common);
    const QString logDir = common + QStringLiteral("Vellumora/log/");
    // The program never creates the log folder: an administrator opts in by making it.
    const QString folder = QFileInfo(logDir).isDir() ? logDir : common;
    const QString exe = QFileInfo(ExeFileName()).fileName();
    return folder + exe.left(extensionStart(exe)) + QStringLiteral(".log");
}

TMyLog::TMyLog()
    : TimeFormat(QStringLiteral("yy/mm/dd hh:nn:ss ")),
      MaxLines(200),
      ErrorPrefix(QStringLiteral("ERR"))
{
    SetFileName(DefaultLogFileName());
}

TMyLog::~TMyLog()
{
    try {
        Flush();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    // Nobody is left to write them later: stderr is the last place they can go.
    if (!Lines.isEmpty()) {
        std::fprintf(stderr, "Unsaved log lines (%s):\n", qPrintable(FileName));
        for (const QString &line : std::as_const(Lines))
            std::fprintf(stderr, "%s\n", ToAnsi(line).constData());
    }
}

void TMyLog::SetFileName(const QString &Name)
{
    if (Name.isEmpty())
        return;
    const qsizetype ext = extensionStart(Name);
    FileName = Name.left(ext) + QStringLiteral("000") + Name.mid(ext);
    while (NextFileIfFull()) {
    }
}

bool TMyLog::NextFileIfFull()
{
    // The size comes from the file system: a log we may append to but not read
    // (or one another account owns) must not stop the lines of a scan.
    const QFileInfo info(FileName);
    if (!info.exists())
        return false;
    if (info.size() <= MaxLogFileSize)
        return false;

    // The number is every digit in front of the extension, so that names past
    // 999 (1000, 1001, ...) keep counting instead of wrapping their last three.
    const qsizetype ext = extensionStart(FileName);
    const qsizetype nameStart = FileName.lastIndexOf(PathDelim) + 1;
    qsizetype numberStart = ext;
    while (numberStart > nameStart && isAsciiDigit(FileName[numberStart - 1]))
        --numberStart;
    if (ext - numberStart < 3)
        numberStart = qMax<qsizetype>(0, ext - 3);
    bool ok = false;
    qint64 number = QStringView(FileName).mid(numberStart, ext - numberStart).toLongLong(&ok);
    if (!ok || number < 0)
        number = 0;
    FileName = FileName.left(numberStart)
               + QStringLiteral("%1").arg(number + 1, 3, 10, QLatin1Char('0'))
               + FileName.mid(ext);
    return true;
}

void TMyLog::Add(const QString &Text)
{
    if (!Text.isEmpty())
        addLine(Text, false);
}

void TMyLog::AddError(const QString &Text)
{
    if (Text.isEmpty())
        return;
    addLine(ErrorPrefix.isEmpty() ? Text : ErrorPrefix + QLatin1Char(' ') + Text, true);
}

void TMyLog::addLine(const QString &Text, bool FlushNow)
{
    qsizetype count = 0;
    {
        std::lock_guard<std::mutex> guard(Lock);
        Lines.append(TimeFormat.isEmpty()
                         ? Text
                         : FormatDateTime(TimeFormat, QDateTime::currentDateTime()) + Text);
        count = Lines.size();
    }
    if (FlushNow || count > MaxLines)
        Flush();
}

void TMyLog::Flush()
{
    QStringList taken;
    {
        std::lock_guard<std::mutex> guard(Lock);
        if (Lines.isEmpty())
            return;
        taken.swap(Lines);
    }
    QString text;
    for (const QString &line : std::as_const(taken))
        text += line + LineEnd;

    bool written = false;
    try {
        while (NextFileIfFull()) {
        }
        written = appendToFile(FileName, ToAnsi(text));
    } catch (...) {
        // The caller hears of the error, but the lines stay for the next write.
        putBack(taken);
        throw;
    }
    if (!written)
        putBack(taken);
}

void TMyLog::putBack(const QStringList &Taken)
{
    std::lock_guard<std::mutex> guard(Lock);
    if (Lines.isEmpty()) {
        Lines = Taken;
    } else {
        // Lines added meanwhile follow the older ones after an empty line.
        QStringList merged = Taken;
        merged.append(QString());
        merged.append(Lines);
        Lines.swap(merged);
    }
    if (Lines.size() == qsizetype(MaxLines) + 1)
        Lines.append(QString::fromLatin1(CannotSaveLogLine));
}
