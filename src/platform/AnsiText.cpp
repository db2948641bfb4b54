#include "platform/AnsiText.h"

#include <QStringDecoder>

#include <array>

AnsiString ToAnsi(const QString &Text)
{
    return Text.toUtf8();
}

bool IsValidUtf8(QByteArrayView Bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(Bytes);
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

QString DecodeWindows1252(QByteArrayView Bytes)
{
    // 0x80..0x9F differ from Latin-1; the five holes map to the C1 controls as Windows does.
    static constexpr std::array<char16_t, 32> high = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString result(Bytes.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (const char c : Bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(high[b - 0x80]) : QChar(b);
    }
    return result;
}

QString FromAnsi(QByteArrayView Bytes)
{
    if (IsValidUtf8(Bytes))
        return QString::fromUtf8(Bytes);
    return DecodeWindows1252(Bytes);
}

AnsiString AnsiLowerCase(AnsiString Text)
{
    for (char &c : Text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return Text;
}

AnsiString AnsiUpperCase(AnsiString Text)
{
    for (char &c : Text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - ('a' - 'A'));
    return Text;
}
