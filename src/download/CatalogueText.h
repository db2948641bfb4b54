#pragma once

#include "catalogue/Card.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Reading the catalogue server's plain-text answers: body to text, text to
// lines, a line to fields, fields to records. No network here.

// The body's text by its byte-order mark: UTF-16 LE/BE, UTF-8 (a malformed or
// cut sequence empties the whole text), otherwise the 8-bit code page. A NUL
// character ends the text.
QString DecodeCatalogueBody(const QByteArray &Body);

// Lines at CR LF, CR, LF and U+2028. A line end at the very end adds no line;
// every other empty line counts.
QStringList SplitCatalogueLines(const QString &Text);

// Fields of one line: comma-separated, blanks (codes 1 to 32) around them
// skipped, double quotes around a field that holds commas or spaces, a doubled
// quote inside for one quote. An unquoted field ends at a comma or a blank.
QStringList SplitCatalogueFields(const QString &Line);

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
// that cannot be read; Error then describes that line.
struct TCatalogueEntries
{
    std::vector<TCatalogueEntry> Entries;
    QString Error;
};
TCatalogueEntries ReadCatalogueEntries(const QStringList &Lines);

inline constexpr int kCardFieldCount = 12;

// A card from the fields of one line; nothing when it has fewer than twelve.
// Numbers that do not read as integers become 0.
std::optional<TGameCard> ReadCatalogueCard(const QStringList &Fields);
