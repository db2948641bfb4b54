#include "scanareas/DecimalText.h"

#include "platform/LocaleFormat.h"

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace {

constexpr int kSignificantDigits = 15;

} // namespace

QString FormatDecimal(double Value)
{
    if (!std::isfinite(Value) || Value == 0)
        return QStringLiteral("0");

    // Rounded to 15 significant digits: "d.dddddddddddddde[+-]x".
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(Value),
                                      std::chars_format::scientific, kSignificantDigits - 1);
    const std::string text(buffer, result.ptr);
    const size_t e = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    const int exponent = std::stoi(text.substr(e + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    const QString separator = DecimalSeparator();
    QString out = Value < 0 ? QStringLiteral("-") : QString();
    if (exponent < -5 || exponent >= kSignificantDigits) {
        out += QLatin1Char(digits[0]);
        if (digits.size() > 1)
            out += separator + QString::fromLatin1(digits.substr(1));
        out += QLatin1Char('E') + QString::number(exponent);
    } else if (exponent < 0) {
        out += QLatin1Char('0') + separator + QString(-exponent - 1, QLatin1Char('0'))
               + QString::fromLatin1(digits);
    } else {
        const size_t whole = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += QString::fromLatin1(digits) + QString(int(whole - digits.size()), QLatin1Char('0'));
        } else {
            out += QString::fromLatin1(digits.substr(0, whole)) + separator
                   + QString::fromLatin1(digits.substr(whole));
        }
    }
    return out;
}

QString FormatTwoDecimals(double Value)
{
    // "+ 0.0" turns a negative zero into zero, which prints without a sign.
    QString text = QString::number(Value + 0.0, 'f', 2);
    text.replace(QLatin1Char('.'), DecimalSeparator());
    return text;
}

namespace {

std::optional<double> parseWith(const QString &Text, const QString &separator)
{
    const QString trimmed = Text.trimmed();
    // Build the plain ASCII form with a point, refusing anything that is not
    // sign, digits, one regional separator and an exponent.
    std::string plain;
    plain.reserve(static_cast<size_t>(trimmed.size()));
    int i = 0;
    const int n = trimmed.size();
    auto isDigit = [&](int at) { return at < n && trimmed[at] >= QLatin1Char('0') && trimmed[at] <= QLatin1Char('9'); };
    if (i < n && (trimmed[i] == QLatin1Char('+') || trimmed[i] == QLatin1Char('-'))) {
        if (trimmed[i] == QLatin1Char('-'))
            plain += '-';
        ++i;
    }
    bool anyDigit = false;
    while (isDigit(i)) {
        plain += char(trimmed[i++].unicode());
        anyDigit = true;
    }
    if (!separator.isEmpty() && QStringView(trimmed).mid(i).startsWith(separator)) {
        plain += '.';
        i += separator.size();
        while (isDigit(i)) {
            plain += char(trimmed[i++].unicode());
            anyDigit = true;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    if (i < n && (trimmed[i] == QLatin1Char('e') || trimmed[i] == QLatin1Char('E'))) {
        plain += 'e';
        ++i;
        if (i < n && (trimmed[i] == QLatin1Char('+') || trimmed[i] == QLatin1Char('-')))
            plain += char(trimmed[i++].unicode());
        if (!isDigit(i))
            return std::nullopt;
        while (isDigit(i))
            plain += char(trimmed[i++].unicode());
    }
    if (i != n)
        return std::nullopt;

    double value = 0;
    const char *begin = plain.data();
    const char *end = begin + plain.size();
    const auto [ptr, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || ptr != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> ParseDecimal(const QString &Text)
{
    return parseWith(Text, DecimalSeparator());
}

std::optional<double> ParseStoredDecimal(const QString &Text)
{
    for (const QString &separator : {DecimalSeparator(), QStringLiteral("."), QStringLiteral(",")})
        if (const std::optional<double> value = parseWith(Text, separator))
            return value;
    return std::nullopt;
}

double ParseDecimalOr(const QString &Text, double Default)
{
    return ParseDecimal(Text).value_or(Default);
}
