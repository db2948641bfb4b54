#include "download/CatalogueText.h"

#include <QStringDecoder>

#include <limits>

namespace {

QString decodeUtf16(const QByteArray &Body, bool BigEndian)
{
    // From the third byte on; an odd final byte is dropped. Lone surrogates
    // are kept as they are: QString holds them and they draw as a box.
    const qsizetype units = (Body.size() - 2) / 2;
    QString text(units, Qt::Uninitialized);
    const auto *bytes = reinterpret_cast<const unsigned char *>(Body.constData()) + 2;
    for (qsizetype i = 0; i < units; ++i) {
        const unsigned hi = bytes[2 * i + (BigEndian ? 0 : 1)];
        const unsigned lo = bytes[2 * i + (BigEndian ? 1 : 0)];
        text[i] = QChar(static_cast<char16_t>((hi << 8) | lo));
    }
    return text;
}

bool isBlank(QChar Ch)
{
    return Ch.unicode() >= 1 && Ch.unicode() <= 32;
}

} // namespace

QString DecodeCatalogueBody(const QByteArray &Body)
{
    QString text;
    if (Body.startsWith("\xFF\xFE")) {
        text = decodeUtf16(Body, false);
    } else if (Body.startsWith("\xFE\xFF")) {
        text = decodeUtf16(Body, true);
    } else if (Body.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = decoder.decode(QByteArrayView(Body).sliced(3));
        // One bad sequence anywhere means the body is not what it claims to be.
        if (decoder.hasError())
            text.clear();
    } else {
        text = FromAnsi(Body);
    }
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

QStringList SplitCatalogueLines(const QString &Text)
{
    QStringList lines;
    const qsizetype length = Text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < length) {
        const char16_t ch = Text[i].unicode();
        if (ch != u'\r' && ch != u'\n' && ch != 0x2028) {
            ++i;
            continue;
        }
        lines << Text.mid(start, i - start);
        i += (ch == u'\r' && i + 1 < length && Text[i + 1] == u'\n') ? 2 : 1;
        start = i;
    }
    if (start < length)
        lines << Text.mid(start);
    return lines;
}

QStringList SplitCatalogueFields(const QString &Line)
{
    QStringList fields;
    const qsizetype length = Line.size();
    qsizetype i = 0;
    while (i < length && isBlank(Line[i]))
        ++i;
    while (i < length) {
        QString field;
        if (Line[i] == u'"') {
            ++i;
            while (i < length) {
                if (Line[i] == u'"') {
                    if (i + 1 < length && Line[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += Line[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < length && Line[i] != u',' && !isBlank(Line[i]))
                ++i;
            field = Line.mid(start, i - start);
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

TCatalogueEntries ReadCatalogueEntries(const QStringList &Lines)
{
    TCatalogueEntries result;
    result.Entries.reserve(static_cast<size_t>(Lines.size()));
    for (qsizetype n = 0; n < Lines.size(); ++n) {
        const QStringList fields = SplitCatalogueFields(Lines[n]);
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
