#include "download/CatalogueText.h"

#include "platform/AnsiText.h"

#include <QStringDecoder>

#include <limits>

namespace {

bool isBlank(QChar Ch)
{
    return Ch.unicode() >= 1 && Ch.unicode() <= 32;
}

// Whether all of Bytes is UTF-8, checked a block at a time so that no copy of
// a large body is made. Blocks end after an ASCII byte, which no multi-byte
// sequence contains, so a sequence is never cut in two.
bool isUtf8(QByteArrayView Bytes)
{
    constexpr qsizetype block = 1 << 16;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    for (qsizetype pos = 0; pos < Bytes.size();) {
        qsizetype end = qMin(pos + block, Bytes.size());
        while (end < Bytes.size() && static_cast<unsigned char>(Bytes[end - 1]) >= 0x80)
            ++end;
        const QString decoded = decoder.decode(Bytes.sliced(pos, end - pos));
        if (decoder.hasError())
            return false;
        pos = end;
    }
    return true;
}

char16_t unitAt(QByteArrayView Body, qsizetype Pos, bool BigEndian)
{
    const auto hi = static_cast<unsigned char>(Body[Pos + (BigEndian ? 0 : 1)]);
    const auto lo = static_cast<unsigned char>(Body[Pos + (BigEndian ? 1 : 0)]);
    return static_cast<char16_t>((hi << 8) | lo);
}

} // namespace

TCatalogueLines::TCatalogueLines(QByteArrayView Body)
    : body_(Body)
{
    if (Body.startsWith("\xFF\xFE") || Body.startsWith("\xFE\xFF")) {
        coding_ = Body.startsWith("\xFF\xFE") ? TCoding::Utf16Le : TCoding::Utf16Be;
        // From the third byte on; an odd final byte is dropped.
        pos_ = 2;
        end_ = 2 + (Body.size() - 2) / 2 * 2;
        for (qsizetype i = pos_; i < end_; i += 2) {
            if (unitAt(Body, i, coding_ == TCoding::Utf16Be) == 0) {
                end_ = i;
                break;
            }
        }
        return;
    }
    if (Body.startsWith("\xEF\xBB\xBF")) {
        pos_ = 3;
        coding_ = TCoding::Utf8;
        // One bad sequence anywhere means the body is not what it claims to be.
        if (!isUtf8(Body.sliced(3))) {
            end_ = pos_;
            return;
        }
    } else {
        coding_ = isUtf8(Body) ? TCoding::Utf8 : TCoding::Windows1252;
    }
    const qsizetype nul = Body.indexOf('\0', pos_);
    end_ = nul >= 0 ? nul : Body.size();
}

QString TCatalogueLines::decode(qsizetype From, qsizetype To) const
{
    const QByteArrayView bytes = body_.sliced(From, To - From);
    switch (coding_) {
    case TCoding::Utf8:
        return QString::fromUtf8(bytes);
    case TCoding::Windows1252:
        return DecodeWindows1252(bytes);
    case TCoding::Utf16Le:
    case TCoding::Utf16Be:
        break;
    }
    // Lone surrogates are kept as they are: QString holds them and they draw as a box.
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(unitAt(bytes, 2 * i, coding_ == TCoding::Utf16Be));
    return text;
}

bool TCatalogueLines::Next(QString &Line)
{
    if (pos_ >= end_)
        return false;

    const bool wide = coding_ == TCoding::Utf16Le || coding_ == TCoding::Utf16Be;
    const qsizetype step = wide ? 2 : 1;
    const auto unit = [&](qsizetype At) -> char16_t {
        return wide ? unitAt(body_, At, coding_ == TCoding::Utf16Be) : static_cast<unsigned char>(body_[At]);
    };
    qsizetype i = pos_;
    qsizetype lineEnd = 0;   // bytes of the line end found at i
    for (; i < end_; i += step) {
        const char16_t ch = unit(i);
        if (ch == u'\r' || ch == u'\n') {
            lineEnd = ch == u'\r' && i + step < end_ && unit(i + step) == u'\n' ? 2 * step : step;
            break;
        }
        if (wide && ch == 0x2028) {
            lineEnd = step;
            break;
        }
        // U+2028 in UTF-8: text already checked as UTF-8 holds these bytes for nothing else.
        if (coding_ == TCoding::Utf8 && ch == 0xE2 && i + 2 < end_
            && static_cast<unsigned char>(body_[i + 1]) == 0x80
            && static_cast<unsigned char>(body_[i + 2]) == 0xA8) {
            lineEnd = 3;
            break;
        }
    }
    Line = decode(pos_, i);
    pos_ = i + lineEnd;
    return true;
}

QStringList CatalogueLines(QByteArrayView Body)
{
    QStringList lines;
    TCatalogueLines reader(Body);
    QString line;
    while (reader.Next(line))
        lines << line;
    return lines;
}

QStringList SplitCatalogueFields(QStringView Line)
{
    QStringList fields;
    fields.reserve(kCardFieldCount);
    const qsizetype length = Line.size();
    qsizetype i = 0;
    while (i < length && isBlank(Line[i]))
        ++i;
    while (i < length) {
        QString field;
        if (Line[i] == u'"') {
            ++i;
            // Runs between quotes are taken whole, so the common field without
            // a doubled quote is one exact copy; a doubled quote adds one.
            for (;;) {
                qsizetype quote = Line.indexOf(u'"', i);
                if (quote < 0)
                    quote = length;
                if (field.isNull())
                    field = Line.sliced(i, quote - i).toString();
                else
                    field += Line.sliced(i, quote - i);
                i = quote;
                if (i + 1 < length && Line[i + 1] == u'"') {
                    field += u'"';
                    i += 2;
                    continue;
                }
                if (i < length)
                    ++i;
                break;
            }
        } else {
            const qsizetype start = i;
            while (i < length && Line[i] != u',' && !isBlank(Line[i]))
                ++i;
            field = Line.sliced(start, i - start).toString();
        }
        fields << field;
        while (i < length && isBlank(Line[i]))
            ++i;
        if (i < length && Line[i] == u',') {
            ++i;
            while (i < length && isBlank(Line[i]))
                ++i;
            if (i == length)
                fields << QString();
        }
    }
    return fields;
}

std::optional<int> ReadCatalogueInteger(const QString &Field)
{
    qsizetype i = 0;
    const qsizetype length = Field.size();
    while (i < length && Field[i] == u' ')
        ++i;
    bool negative = false;
    if (i < length && (Field[i] == u'+' || Field[i] == u'-')) {
        negative = Field[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < length && Field[i] == u'$') {
        base = 16;
        ++i;
    } else if (i < length && (Field[i] == u'x' || Field[i] == u'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < length && Field[i] == u'0' && (Field[i + 1] == u'x' || Field[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == length)
        return std::nullopt;
    // Accumulated in 64 bits and checked at every digit, so no run of digits
    // can overflow.
    const qint64 limit = negative ? qint64(std::numeric_limits<int>::max()) + 1
                                  : qint64(std::numeric_limits<int>::max());
    qint64 value = 0;
    for (; i < length; ++i) {
        const char16_t c = Field[i].unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

TCatalogueEntries ReadCatalogueEntries(QByteArrayView Body, int MaxEntries)
{
    TCatalogueEntries result;
    TCatalogueLines lines(Body);
    QString line;
    for (qsizetype n = 0; lines.Next(line); ++n) {
        if (n == MaxEntries) {
            result.Error = QStringLiteral("the list has more than %1 entries").arg(MaxEntries);
            break;
        }
        const QStringList fields = SplitCatalogueFields(line);
        if (fields.size() < 3) {
            result.Error = QStringLiteral("line %1: field %2 is missing").arg(n + 1).arg(fields.size());
            break;
        }
        const std::optional<int> id = ReadCatalogueInteger(fields[0]);
        if (!id) {
            result.Error = QStringLiteral("line %1: '%2' is not a valid integer value")
                               .arg(n + 1)
                               .arg(fields[0].left(80));
            break;
        }
        result.Entries.push_back({*id, fields[1], fields[2]});
    }
    return result;
}

std::optional<TGameCard> ReadCatalogueCard(const QStringList &Fields)
{
    if (Fields.size() < kCardFieldCount)
        return std::nullopt;
    const auto number = [&](int Index) { return ReadCatalogueInteger(Fields[Index]).value_or(0); };
    TGameCard card;
    card.Id = number(0);
    card.Name = Fields[1];
    card.Language = ToAnsi(Fields[2]);
    card.Number = number(3);
    card.CollectorsNo = Fields[4];
    card.ScanFile = ToAnsi(Fields[5]);
    card.Rarity = Fields[6];
    card.Foil = ToAnsi(Fields[7]);
    card.SubsetId = number(8);
    card.P0 = Fields[9];
    card.P1 = Fields[10];
    card.Notes = Fields[11];
    return card;
}
