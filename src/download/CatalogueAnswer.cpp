#include "download/CatalogueAnswer.h"

#include "platform/AnsiText.h"

#include <cstring>
#include <limits>

namespace {

constexpr qsizetype kMaxHeadLine = 16384;
// However the head is split into lines and interim answers, it ends here.
constexpr qint64 kMaxHeadBytes = 1 << 20;

// Digits only, saturating: a length past 64 bits is still a large number.
qint64 readUnsigned(QByteArrayView Text, int Base)
{
    if (Text.isEmpty())
        return -1;
    qint64 value = 0;
    for (const char c : Text) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (Base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (Base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return -1;
        value = value > (std::numeric_limits<qint64>::max() - digit) / Base
                    ? std::numeric_limits<qint64>::max()
                    : value * Base + digit;
    }
    return value;
}

// The second space-separated word, when it is a number; -1 otherwise.
int statusCode(const QByteArray &StatusLine)
{
    const qsizetype first = StatusLine.indexOf(' ');
    if (first < 0)
        return -1;
    qsizetype start = first;
    while (start < StatusLine.size() && StatusLine[start] == ' ')
        ++start;
    qsizetype end = StatusLine.indexOf(' ', start);
    if (end < 0)
        end = StatusLine.size();
    const qint64 code = readUnsigned(QByteArrayView(StatusLine).sliced(start, end - start), 10);
    return code >= 0 && code <= 999 ? static_cast<int>(code) : -1;
}

QString headLineLimitText()
{
    return QStringLiteral("The server sent a header line longer than %1 characters").arg(kMaxHeadLine);
}

QString bodyLimitText(qint64 MaxBodyBytes)
{
    return QStringLiteral("The answer is larger than %1 MB").arg(MaxBodyBytes >> 20);
}

} // namespace

TAnswerReader::TAnswerReader(qint64 MaxBodyBytes)
    : maxBodyBytes_(MaxBodyBytes)
{
}

TAnswerReader::TState TAnswerReader::Feed(QByteArrayView Bytes)
{
    qsizetype pos = 0;
    while (state_ == TState::Reading && pos < Bytes.size()) {
        const qsizetype available = Bytes.size() - pos;
        switch (part_) {
        case TPart::StatusLine:
        case TPart::Headers:
        case TPart::ChunkSize:
            if (collectLine(Bytes, pos))
                onLine(std::exchange(line_, QByteArray()));
            break;
        case TPart::LengthBody:
        case TPart::ChunkData: {
            const qsizetype take = static_cast<qsizetype>(qMin<qint64>(remaining_, available));
            if (!appendBody(Bytes.sliced(pos, take)))
                break;
            pos += take;
            remaining_ -= take;
            if (remaining_ == 0) {
                if (part_ == TPart::LengthBody)
                    finish();
                else
                    part_ = TPart::ChunkEnd;
            }
            break;
        }
        case TPart::ChunkEnd: {
            // The line end after a chunk's data; anything before it is passed over.
            const void *lf = std::memchr(Bytes.data() + pos, '\n', static_cast<size_t>(available));
            if (!lf) {
                pos = Bytes.size();
                break;
            }
            pos = static_cast<const char *>(lf) - Bytes.data() + 1;
            part_ = TPart::ChunkSize;
            break;
        }
        case TPart::CloseBody:
            if (appendBody(Bytes.sliced(pos)))
                pos = Bytes.size();
            break;
        }
    }
    return state_;
}

TAnswerReader::TState TAnswerReader::Closed()
{
    if (state_ != TState::Reading)
        return state_;
    // A last line without its line end still says what it says: an answer of
    // one bare line is judged by that line.
    if (!line_.isEmpty() && (part_ == TPart::StatusLine || part_ == TPart::ChunkSize))
        onLine(std::exchange(line_, QByteArray()));
    if (state_ != TState::Reading)
        return state_;
    switch (part_) {
    case TPart::StatusLine:
        fail(QStringLiteral("The server closed the connection without answering"));
        break;
    case TPart::Headers:
        fail(QStringLiteral("The server closed the connection before the end of the answer's headers"));
        break;
    case TPart::LengthBody:   // a body short of its length: what arrived is used
    case TPart::CloseBody:
        finish();
        break;
    case TPart::ChunkSize:
    case TPart::ChunkData:
    case TPart::ChunkEnd:
        fail(QStringLiteral("The server closed the connection before the end of the answer"));
        break;
    }
    return state_;
}

bool TAnswerReader::collectLine(QByteArrayView Bytes, qsizetype &Pos)
{
    const qsizetype available = Bytes.size() - Pos;
    const void *lf = std::memchr(Bytes.data() + Pos, '\n', static_cast<size_t>(available));
    const qsizetype take = lf ? static_cast<const char *>(lf) - (Bytes.data() + Pos) : available;
    if (line_.size() + take > kMaxHeadLine + 1) {
        if (part_ == TPart::ChunkSize) {
            finish();   // no chunk size is that long: not hexadecimal, so the body ends
        } else {
            fail(headLineLimitText());
        }
        return false;
    }
    line_.append(Bytes.sliced(Pos, take));
    Pos += take;
    if (!lf)
        return false;
    ++Pos;
    if (line_.endsWith('\r'))
        line_.chop(1);
    return true;
}

void TAnswerReader::onLine(QByteArray Line)
{
    if (part_ == TPart::ChunkSize) {
        onChunkSizeLine(Line);
        return;
    }
    if (Line.size() > kMaxHeadLine) {
        fail(headLineLimitText());
        return;
    }
    headBytes_ += Line.size() + 2;
    if (headBytes_ > kMaxHeadBytes) {
        fail(QStringLiteral("The answer's headers are longer than %1 KB").arg(kMaxHeadBytes >> 10));
        return;
    }
    if (part_ == TPart::StatusLine)
        onStatusLine(Line);
    else
        onHeaderLine(Line);
}

void TAnswerReader::onStatusLine(const QByteArray &Line)
{
    statusLine_ = Line;
    code_ = statusCode(Line);
    contentLength_ = -1;
    chunked_ = false;
    // Nothing of a failed answer would be used, so its headers and body are
    // not waited for.
    if (code_ != 100 && (code_ < 200 || code_ > 299)) {
        fail(FromAnsi(Line));
        return;
    }
    part_ = TPart::Headers;
}

void TAnswerReader::onHeaderLine(const QByteArray &Line)
{
    if (Line.isEmpty()) {
        if (code_ == 100)
            part_ = TPart::StatusLine;   // the real answer follows
        else
            startBody();
        return;
    }
    const qsizetype colon = Line.indexOf(':');
    if (colon <= 0 || code_ == 100)
        return;
    const QByteArray name = Line.left(colon).trimmed().toLower();
    const QByteArray value = Line.mid(colon + 1).trimmed();
    if (name == "location") {
        // Redirects are not followed, whatever the code.
        fail(FromAnsi(statusLine_));
    } else if (name == "content-length") {
        if (contentLength_ < 0)
            contentLength_ = readUnsigned(value, 10);
    } else if (name == "transfer-encoding" && value.contains("chunked")) {
        chunked_ = true;
    }
}

void TAnswerReader::startBody()
{
    // Chunks win over a Content-Length, as HTTP/1.1 has it: the length of a
    // chunked message would count the chunk lines into the text.
    if (code_ == 204) {
        finish();
    } else if (chunked_) {
        part_ = TPart::ChunkSize;
    } else if (contentLength_ > 0) {
        part_ = TPart::LengthBody;
        remaining_ = contentLength_;
        body_.reserve(static_cast<qsizetype>(qMin(contentLength_, maxBodyBytes_)));
    } else if (contentLength_ == 0) {
        finish();
    } else {
        part_ = TPart::CloseBody;   // no length, or one that is not a number
    }
}

void TAnswerReader::onChunkSizeLine(const QByteArray &Line)
{
    // The size ends at a blank or at the extensions HTTP/1.1 allows after ";".
    qsizetype end = 0;
    while (end < Line.size() && Line[end] != ' ' && Line[end] != '\t' && Line[end] != ';')
        ++end;
    const qint64 size = readUnsigned(QByteArrayView(Line).first(end), 16);
    // The last chunk and anything not hexadecimal end the body; trailer fields
    // after it are not read at all.
    if (size <= 0) {
        finish();
        return;
    }
    if (size > maxBodyBytes_ - body_.size()) {
        fail(bodyLimitText(maxBodyBytes_));
        return;
    }
    remaining_ = size;
    part_ = TPart::ChunkData;
}

bool TAnswerReader::appendBody(QByteArrayView Bytes)
{
    if (body_.size() + Bytes.size() > maxBodyBytes_) {
        fail(bodyLimitText(maxBodyBytes_));
        return false;
    }
    body_.append(Bytes);
    return true;
}

void TAnswerReader::finish()
{
    state_ = TState::Done;
}

void TAnswerReader::fail(const QString &Error)
{
    state_ = TState::Failed;
    error_ = Error;
    body_.clear();
    body_.squeeze();
}
