#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Reads one HTTP/1.1 answer from the bytes as they arrive: the status line and
// its headers, then the body by its Content-Length, in chunks, or up to the
// close. No network here, so every kind of broken answer can be fed to it.
//
// The status line's code is its second word; a line without a number there
// fails with the line itself as the text, as does any status outside 200 to
// 299 (interim 100 answers are skipped) and any answer with a Location header.
// Trailer fields after the last chunk never touch the body, and a chunk size
// that is not hexadecimal ends the body with what arrived.
class TAnswerReader
{
public:
    enum class TState { Reading, Done, Failed };

    explicit TAnswerReader(qint64 MaxBodyBytes);

    // Takes the next bytes the server sent; what follows the end of the answer
    // is ignored.
    TState Feed(QByteArrayView Bytes);
    // The server closed the connection.
    TState Closed();

    TState State() const { return state_; }
    const QString &Error() const { return error_; }
    // The body once Done; the reader gives it up.
    QByteArray TakeBody() { return std::move(body_); }

private:
    enum class TPart { StatusLine, Headers, LengthBody, CloseBody, ChunkSize, ChunkData, ChunkEnd };

    // Line parts collect a line; false when it is not complete yet.
    bool collectLine(QByteArrayView Bytes, qsizetype &Pos);
    void onLine(QByteArray Line);
    void onStatusLine(const QByteArray &Line);
    void onHeaderLine(const QByteArray &Line);
    void onChunkSizeLine(const QByteArray &Line);
    void startBody();
    bool appendBody(QByteArrayView Bytes);
    void finish();
    void fail(const QString &Error);

    qint64 maxBodyBytes_;
    TState state_ = TState::Reading;
    TPart part_ = TPart::StatusLine;
    QString error_;

    QByteArray line_;        // the line being collected
    qint64 headBytes_ = 0;   // every head line so far, interim answers included
    QByteArray statusLine_;
    int code_ = -1;
    qint64 contentLength_ = -1;   // -1: none, or not a number
    bool chunked_ = false;
    qint64 remaining_ = 0;        // of the Content-Length or of the current chunk
    QByteArray body_;
};
