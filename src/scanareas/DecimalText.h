#pragma once

#include <QString>

#include <optional>

// Decimal numbers as the scan area store and editor show them, always with the
// regional decimal separator (DecimalSeparator()).

// General format with 15 significant digits: no trailing zeros, no separator for
// whole numbers, exponent form ("1E308", "1.5E-7") only below 0.00001 or from
// 1E15 on. Values that are not finite are written as "0".
QString FormatDecimal(double Value);

// Fixed format with two decimals ("2.50"), as in the area list's "Size" column.
QString FormatTwoDecimals(double Value);

// Reads an optional sign, digits with at most one regional separator, and an
// optional exponent, with blanks around. Anything else, including "nan", "inf",
// the other separator, and values beyond the range of a double, is no number.
std::optional<double> ParseDecimal(const QString &Text);
// As ParseDecimal, but the separator may also be "." or ",": stored values were
// written with the separator of whatever locale the program last ran in.
std::optional<double> ParseStoredDecimal(const QString &Text);
double ParseDecimalOr(const QString &Text, double Default);
