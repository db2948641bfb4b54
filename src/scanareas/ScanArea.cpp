#include "scanareas/ScanArea.h"

#include "scanareas/DecimalText.h"

#include <QCollator>
#include <QLocale>

double AreaLengthMm(const TScanArea &Area, double Length)
{
    switch (Area.Units) {
    case UnitsInches: return Length * 25.4;
    case UnitsCentimeters: return Length * 10;
    default: return Area.Quality > 0 ? Length / Area.Quality * 25.4 : 0;
    }
}

QString UnitsText(quint8 Units)
{
    switch (Units) {
    case UnitsInches: return QStringLiteral("in");
    case UnitsCentimeters: return QStringLiteral("cm");
    case UnitsPixels: return QStringLiteral("px");
    default: return QStringLiteral("Unknown!");
    }
}

QString ScanAreaSizeText(const TScanArea &Area)
{
    return QStringLiteral("%1x%2 (%3x%4) [%5]")
        .arg(FormatTwoDecimals(Area.Left), FormatTwoDecimals(Area.Top),
             FormatTwoDecimals(Area.Width), FormatTwoDecimals(Area.Height),
             UnitsText(Area.Units));
}

int CompareAreaNames(const QString &A, const QString &B)
{
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator.compare(A, B);
}

TScanArea *TScanAreaList::Add(std::unique_ptr<TScanArea> Area)
{
    items_.push_back(std::move(Area));
    return items_.back().get();
}

int TScanAreaList::IndexOf(const TScanArea *Area) const
{
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == Area)
            return static_cast<int>(i);
    return -1;
}

bool TScanAreaList::Delete(const TScanArea *Area)
{
    const int index = IndexOf(Area);
    if (index < 0)
        return false;
    items_.erase(items_.begin() + index);
    return true;
}
