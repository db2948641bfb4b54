#pragma once

#include <QString>
#include <QStringList>

#include <mutex>

// The run log: lines are collected in memory and appended to a numbered file in
// batches, so the scanning path never waits on the disk for an ordinary line.
class TMyLog
{
public:
    // Places the log in the "Vellumora/log" state folder when it exists, else in
    // the state folder itself. File sizes come from the file system, so a log
    // file that cannot be read never stops the run.
    TMyLog();
    // Writes what is still buffered; lines that cannot be written go to stderr.
    ~TMyLog();

    TMyLog(const TMyLog &) = delete;
    TMyLog &operator=(const TMyLog &) = delete;

    // Adds a time-stamped line; writes the buffer once it holds more than MaxLines.
    // An empty text is ignored.
    void Add(const QString &Text);
    // Adds "ERR <Text>" (time-stamped) and writes the buffer at once.
    void AddError(const QString &Text);
    // Appends the buffered lines to the log file. A failed write keeps them for
    // the next call.
    void Flush();
    // Takes a path without number (".../Vellumora.log"), numbers it from 000 and
    // moves past full files. An empty name changes nothing.
    void SetFileName(const QString &Name);
    // Moves FileName to the next number when the current file exists and is full.
    bool NextFileIfFull();

    std::mutex Lock; // guards Lines
    QStringList Lines;
    QString FileName;
    QString TimeFormat;
    int MaxLines;
    QString ErrorPrefix;

private:
    void addLine(const QString &Line, bool FlushNow);
    void putBack(const QStringList &Taken);
};

// The one log of the run; the main window creates and frees it.
extern TMyLog *AppLog;

// A line, or an error line, for the run's log; nothing while there is none.
void LogLine(const QString &Text);
void LogError(const QString &Text);

// A log file larger than this is full; one of exactly this size is not.
inline constexpr qint64 MaxLogFileSize = 1048576;

// The marker appended when a failed write leaves exactly MaxLines + 1 lines.
inline constexpr const char *CannotSaveLogLine = "Cannot save log";

// Where a new log begins: folder and executable name with ".log", without number.
QString DefaultLogFileName();
