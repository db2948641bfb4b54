#pragma once

#include "catalogue/CardList.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

// Reading a ';'-separated card list file: one header line, then one card per line.

// The whole file. Raises EAppError when the file cannot be opened or read.
QByteArray ReadCardListFile(const QString &FileName);

// The text of the file by its byte-order mark: FF FE UTF-16LE, FE FF UTF-16BE,
// EF BB BF UTF-8 (empty when the rest is not well-formed), anything else the
// 8-bit code page. A NUL character ends the text.
QString DecodeCardListText(QByteArrayView Bytes);

// Lines end at CR, LF, CR LF or U+2028; a break at the very end starts no line.
QStringList SplitCardListLines(const QString &Text);

// Fields of one line: ';' separates, '"' quotes, blanks around fields are dropped
// and an unquoted blank ends a field.
QStringList SplitCardFields(QStringView Line);

// An integer column: optional blanks and sign, decimal digits or hexadecimal
// after "$", "x" or "0x". Anything else, or an overflow of 32 bits, gives 0.
int CardFileInteger(const QString &Field);

struct TCardLinesResult
{
    // A line had fewer than 12 fields; the cards before it were added.
    bool WrongFormat = false;
    bool AnyNumbered = false;        // some card has Number > 0
    bool AnyCollectorsNo = false;    // some card has a CollectorsNo
};

// Appends a card to Cards for every line after the header, in file order,
// stopping at the first line with fewer than 12 fields.
TCardLinesResult ReadCardLines(const QStringList &Lines, TCardList &Cards);
