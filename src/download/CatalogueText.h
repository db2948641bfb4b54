#pragma once

#include "catalogue/Card.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Reading the catalogue server's plain-text answers: body to text, text to
// lines, a line to fields, fields to records. No network here.

// The lines of an answer's body, decoded one at a time, so that a large answer
// is never held as text and as lines at once.
//
// The text follows the byte-order mark: UTF-16 LE/BE, UTF-8 (a malformed or
// cut sequence anywhere empties the whole text), otherwise the 8-bit code
// page; a NUL character ends it. Lines end at CR LF, CR, LF and U+2028; a line
// end at the very end adds no line, every other empty line counts.
class TCatalogueLines
{
public:
    // Body must outlive the reader.
    explicit TCatalogueLines(QByteArrayView Body);

    // The next line; false after the last.
    bool Next(QString &Line);

private:
    enum class TCoding { Utf16Le, Utf16Be, Utf8, Windows1252 };

    QString decode(qsizetype From, qsizetype To) const;

    QByteArrayView body_;
    TCoding coding_ = TCoding::Windows1252;
    qsizetype pos_ = 0;
    qsizetype end_ = 0;
};

// Every line at once: for small answers and tests.
QStringList CatalogueLines(QByteArrayView Body);

// Fields of one line: comma-separated, blanks (codes 1 to 32) around them
// skipped, double quotes around a field that holds commas or spaces, a doubled
// quote inside for one quote. An unquoted field ends at a comma or a blank.
QStringList SplitCatalogueFields(QStringView Line);

// Optional leading spaces, optional sign, then decimal digits or hexadecimal
// ones after "$", "x" or "0x"; nothing after; must fit 32 bits signed.
std::optional<int> ReadCatalogueInteger(const QString &Field);

// One entry of the games or sets answer.
struct TCatalogueEntry
{
    int Id = 0;
    QString Name;
    QString Code;
};

// The entries of a games or sets answer, read in order until the first line
// that cannot be read, or until MaxEntries were read and another line follows;
// Error then describes why.
struct TCatalogueEntries
{
    std::vector<TCatalogueEntry> Entries;
    QString Error;
};
TCatalogueEntries ReadCatalogueEntries(QByteArrayView Body, int MaxEntries);

inline constexpr int kCardFieldCount = 12;

// A card from the fields of one line; nothing when it has fewer than twelve.
// Numbers that do not read as integers become 0.
std::optional<TGameCard> ReadCatalogueCard(const QStringList &Fields);
