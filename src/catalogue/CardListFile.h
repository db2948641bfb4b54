#pragma once

#include "catalogue/CardList.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

// Reading a ';'-separated card list file: one header line, then one card per line.
// The steps are separate so that each can be tested without a window:
//   ReadCardLines(DecodeCardListText(ReadCardListFile(name)), Cards)

// The largest file we read. A card list of a whole set is well below a megabyte;
// this only keeps a wrong pick in the open dialog from exhausting memory: the
// file's bytes and its text are held once each, lines are taken one at a time,
// so a load costs about three times the file's size plus the cards it keeps.
inline constexpr qint64 MaxCardListFileSize = qint64(512) * 1024 * 1024;

// The whole file, read-only, in memory as large as the file. Raises EAppError
// naming the file and the reason when it cannot be opened or read: missing, a
// folder, no permission, not a regular file (a FIFO or a device would block or
// never end), or larger than MaxCardListFileSize.
QByteArray ReadCardListFile(const QString &FileName);

// The text of the file by its byte-order mark: FF FE UTF-16LE, FE FF UTF-16BE
// (an odd last byte is ignored), EF BB BF UTF-8 (empty when the rest is not
// well-formed), anything else the 8-bit code page with no byte skipped.
// A NUL character ends the text.
QString DecodeCardListText(QByteArrayView Bytes);

// Lines end at CR, LF, CR LF or U+2028; a break at the very end starts no line,
// two breaks in a row make an empty line. Lines are views into the text, taken
// one at a time, so a huge file of empty lines costs no memory per line.
class TCardListLineReader
{
public:
    explicit TCardListLineReader(QStringView Text) : text_(Text) {}
    // The next line, or false after the last one.
    bool Next(QStringView &Line);

private:
    QStringView text_;
    qsizetype pos_ = 0;
};

// Every line at once, for callers that want a list.
QStringList SplitCardListLines(QStringView Text);

// Fields of one line: ';' separates, '"' quotes (a doubled quote stands for one,
// an unclosed quote takes the rest), blanks and control characters around fields
// are dropped and an unquoted one ends a field. A ';' that is the very last
// character adds a final empty field. A NUL character ends the line.
QStringList SplitCardFields(QStringView Line);

// An integer column, read from its 8-bit form: optional blanks and sign, then
// decimal digits or hexadecimal digits after "$", "x" or "0x" (either case),
// Anything else (trailing blanks included), or a value outside 32-bit signed, gives 0.
int CardFileInteger(const QString &Field);
int CardFileInteger(QStringView Field);

struct TCardLinesResult
{
    // A line had fewer than 12 fields; the cards before it were added.
    bool WrongFormat = false;
    bool AnyNumbered = false;        // some card has Number > 0
    bool AnyCollectorsNo = false;    // some card has a CollectorsNo
};

// Appends a card to Cards for every line after the header, in file order,
// stopping at the first line with fewer than 12 fields.
TCardLinesResult ReadCardLines(QStringView Text, TCardList &Cards);
