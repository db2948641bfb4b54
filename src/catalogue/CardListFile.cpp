#include "catalogue/CardListFile.h"

#include "platform/AnsiText.h"
#include "platform/AppError.h"
#include "platform/MessageCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <climits>

namespace {

[[noreturn]] void raiseOpenError(const QString &FileName, const QString &Reason)
{
    throw EAppError(_("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(FileName), Reason));
}

[[noreturn]] void raiseReadError(const QString &FileName, const QString &Reason)
{
    throw EAppError(_("Cannot read file \"%1\". %2").arg(QDir::toNativeSeparators(FileName), Reason));
}

constexpr char16_t kLineSeparator = 0x2028;

bool isSkippedControl(char16_t C)
{
    return C >= 1 && C <= 32;
}

qsizetype skipControls(QStringView Line, qsizetype Pos)
{
    while (Pos < Line.size() && isSkippedControl(Line[Pos].unicode()))
        ++Pos;
    return Pos;
}

// Splits Line into fields and hands each to OnField as a view, which stays valid
// only during the call: a quoted field with doubled quotes is unescaped into
// Scratch, every other field points into Line, so most fields cost no copy.
// OnField returns false when it needs no more fields.
template <typename FieldHandler>
void forEachCardField(QStringView Line, QString &Scratch, FieldHandler &&OnField)
{
    // NUL ends the line as it ends the text; an unquoted field stops at it
    // without consuming it, so it must never be taken for a field.
    const qsizetype nul = Line.indexOf(QChar(u'\0'));
    if (nul >= 0)
        Line = Line.left(nul);
    const qsizetype length = Line.size();

    qsizetype pos = skipControls(Line, 0);
    while (pos < length) {
        QStringView field;
        if (Line[pos] == u'"') {
            ++pos;
            qsizetype closing = Line.indexOf(u'"', pos);
            if (closing < 0) {
                field = Line.mid(pos);
                pos = length;
            } else if (closing + 1 < length && Line[closing + 1] == u'"') {
                Scratch.clear();
                for (;;) {
                    if (closing < 0) {
                        Scratch.append(Line.mid(pos));
                        pos = length;
                        break;
                    }
                    Scratch.append(Line.mid(pos, closing - pos));
                    if (closing + 1 < length && Line[closing + 1] == u'"') {
                        Scratch.append(u'"');
                        pos = closing + 2;
                        closing = Line.indexOf(u'"', pos);
                    } else {
                        pos = closing + 1;
                        break;
                    }
                }
                field = Scratch;
            } else {
                field = Line.mid(pos, closing - pos);
                pos = closing + 1;
            }
        } else {
            const qsizetype start = pos;
            while (pos < length && Line[pos] != u';' && Line[pos].unicode() > 32)
                ++pos;
            field = Line.mid(start, pos - start);
        }
        if (!OnField(field))
            return;
        pos = skipControls(Line, pos);
        if (pos < length && Line[pos] == u';') {
            if (pos == length - 1 && !OnField(QStringView()))
                return;
            pos = skipControls(Line, pos + 1);
        }
    }
}

int hexDigitValue(char16_t C)
{
    if (C >= u'0' && C <= u'9')
        return C - u'0';
    if (C >= u'a' && C <= u'f')
        return C - u'a' + 10;
    if (C >= u'A' && C <= u'F')
        return C - u'A' + 10;
    return -1;
}

void decodeUtf16(QByteArrayView Bytes, bool BigEndian, QString &Text)
{
    // An odd last byte is no whole character and is dropped.
    const qsizetype count = Bytes.size() / 2;
    Text.resize(count);
    if (BigEndian)
        qFromBigEndian<char16_t>(Bytes.data(), count, Text.data());
    else
        qFromLittleEndian<char16_t>(Bytes.data(), count, Text.data());
}

} // namespace

QByteArray ReadCardListFile(const QString &FileName)
{
    // A folder, a FIFO or a device picked by mistake is refused before it is
    // opened, so it can neither block the window nor be read forever.
    const QFileInfo info(FileName);
    if (info.isDir())
        raiseOpenError(FileName, _("Is a directory"));
    if (info.exists() && !info.isFile())
        raiseOpenError(FileName, _("Not a regular file"));
    if (info.size() > MaxCardListFileSize)
        raiseOpenError(FileName, _("The file is larger than 512 MB"));

    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        raiseOpenError(FileName, file.errorString());
    // Read what the file holds, in pieces: asking for the whole limit at once
    // would make Qt reserve it first. The size is a hint only, as the file may
    // grow while we read, so the limit is checked as the bytes arrive.
    constexpr qint64 kPiece = qint64(1) << 20;
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(qMin(info.size(), MaxCardListFileSize)));
    for (;;) {
        const qsizetype before = bytes.size();
        bytes.resize(before + kPiece);
        const qint64 got = file.read(bytes.data() + before, kPiece);
        if (got < 0)
            raiseReadError(FileName, file.errorString());
        bytes.resize(before + got);
        if (bytes.size() > MaxCardListFileSize)
            raiseReadError(FileName, _("The file is larger than 512 MB"));
        if (got == 0)
            break;
    }
    bytes.squeeze();
    return bytes;
}

QString DecodeCardListText(QByteArrayView Bytes)
{
    const auto byteAt = [&](qsizetype Index) { return static_cast<unsigned char>(Bytes[Index]); };
    QString text;
    if (Bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        decodeUtf16(Bytes.sliced(2), false, text);
    } else if (Bytes.size() >= 2 && byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
        decodeUtf16(Bytes.sliced(2), true, text);
    } else if (Bytes.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
        // A file that claims UTF-8 but is not gives no cards at all rather
        // than cards with garbled names.
        const QByteArrayView rest = Bytes.sliced(3);
        if (!IsValidUtf8(rest))
            return {};
        text = QString::fromUtf8(rest);
    } else {
        // Only the bytes before a NUL become text, so only they decide
        // between UTF-8 and Windows-1252.
        const qsizetype nul = Bytes.indexOf('\0');
        return FromAnsi(nul >= 0 ? Bytes.first(nul) : Bytes);
    }
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

bool TCardListLineReader::Next(QStringView &Line)
{
    const qsizetype length = text_.size();
    if (pos_ >= length)
        return false;
    const QChar *const chars = text_.data();
    qsizetype end = pos_;
    while (end < length) {
        const char16_t c = chars[end].unicode();
        if (c == u'\r' || c == u'\n' || c == kLineSeparator)
            break;
        ++end;
    }
    Line = text_.mid(pos_, end - pos_);
    if (end < length) {
        if (chars[end] == u'\r' && end + 1 < length && chars[end + 1] == u'\n')
            ++end;
        ++end;
    }
    pos_ = end;
    return true;
}

QStringList SplitCardListLines(QStringView Text)
{
    QStringList lines;
    TCardListLineReader reader(Text);
    QStringView line;
    while (reader.Next(line))
        lines.append(line.toString());
    return lines;
}

QStringList SplitCardFields(QStringView Line)
{
    QStringList fields;
    QString scratch;
    forEachCardField(Line, scratch, [&](QStringView Field) {
        fields.append(Field.toString());
        return true;
    });
    return fields;
}

int CardFileInteger(const QString &Field)
{
    return CardFileInteger(QStringView(Field));
}

int CardFileInteger(QStringView Field)
{
    // Read as the 8-bit form would be: every character outside ASCII becomes
    // bytes that are neither blank, sign nor digit, so reading the 16-bit
    // characters directly gives the same result without converting.
    qsizetype pos = 0;
    const qsizetype length = Field.size();
    const auto at = [&](qsizetype Index) { return Index < length ? Field[Index].unicode() : u'\0'; };

    while (at(pos) == u' ')
        ++pos;
    bool negative = false;
    if (at(pos) == u'+' || at(pos) == u'-') {
        negative = at(pos) == u'-';
        ++pos;
    }
    int base = 10;
    if (at(pos) == u'$' || at(pos) == u'x' || at(pos) == u'X') {
        base = 16;
        ++pos;
    } else if (at(pos) == u'0' && (at(pos + 1) == u'x' || at(pos + 1) == u'X')) {
        base = 16;
        pos += 2;
    }

    // The magnitude may reach 2^31 only for a negative value.
    const qint64 limit = negative ? qint64(INT_MAX) + 1 : qint64(INT_MAX);
    qint64 value = 0;
    const qsizetype digitsStart = pos;
    while (pos < length) {
        const int digit = hexDigitValue(at(pos));
        if (digit < 0 || digit >= base)
            break;
        value = value * base + digit;
        if (value > limit)
            return 0;
        ++pos;
    }
    // Only leading blanks are allowed: a quoted "12 " is no number, and must
    // not silently become the card's Id or the number its file is named after.
    if (pos == digitsStart || pos != length)
        return 0;
    return static_cast<int>(negative ? -value : value);
}

TCardLinesResult ReadCardLines(QStringView Text, TCardList &Cards)
{
    constexpr int kFieldsPerCard = 12;
    TCardLinesResult result;
    TCardListLineReader lines(Text);
    QStringView line;
    if (!lines.Next(line))   // the header is never read
        return result;

    // Rarity, foil and types repeat from card to card; sharing the text of the
    // card before saves most of the allocations of a big list.
    const TGameCard blank;
    const TGameCard *previous = &blank;
    QString previousFoilText;
    const auto assign = [](QString &Target, QStringView Field, const QString &Previous) {
        if (Field == Previous)
            Target = Previous;
        else
            Target = Field.toString();
    };

    QString scratch;
    while (lines.Next(line)) {
        auto card = std::make_unique<TGameCard>();
        int fieldCount = 0;
        // Each field goes straight into its column; columns past the last one
        // read are never looked at, so splitting stops once the line has enough.
        forEachCardField(line, scratch, [&](QStringView Field) {
            switch (fieldCount) {
            case 0: card->Id = CardFileInteger(Field); break;
            case 1: assign(card->Name, Field, previous->Name); break;
            case 2: card->Number = CardFileInteger(Field); break;
            case 3: assign(card->CollectorsNo, Field, previous->CollectorsNo); break;
            case 4: assign(card->Rarity, Field, previous->Rarity); break;
            case 5:
                if (Field == previousFoilText) {
                    card->Foil = previous->Foil;
                } else {
                    previousFoilText = Field.toString();
                    card->Foil = ToAnsi(previousFoilText);
                }
                break;
            case 9: assign(card->Notes, Field, previous->Notes); break;
            case 10: assign(card->P0, Field, previous->P0); break;
            case 11: assign(card->P1, Field, previous->P1); break;
            default: break;
            }
            return ++fieldCount < kFieldsPerCard;
        });
        if (fieldCount < kFieldsPerCard) {
            result.WrongFormat = true;
            break;
        }
        result.AnyNumbered = result.AnyNumbered || card->Number > 0;
        result.AnyCollectorsNo = result.AnyCollectorsNo || !card->CollectorsNo.isEmpty();
        previous = card.get();
        const QString name = card->Name;
        Cards.Add(name, std::move(card));
    }
    return result;
}
