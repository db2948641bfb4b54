#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

// A named rectangle on the scanner glass with its unit and resolution.
struct TScanArea
{
    QString Name;
    qint32 Quality = 0;   // dots per inch: 150, 300 or 600
    quint8 Units = 0;     // TWAIN ICAP_UNITS: 0 inches, 1 centimetres, 5 pixels
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
    // Straighten and crop: the scan goes through the card finder, and a card it
    // is sure of is saved straightened and cut instead of the whole frame. The
    // card's size is given in Units.
    bool CropToCard = false;
    double CardWidth = 0;
    double CardHeight = 0;
    // Several cards per scan: the frame is scanned once, and every card found
    // on it, straightened and cut, is saved for the next card of the list.
    // Uses the same card size; it wins over CropToCard.
    bool SeveralCards = false;
};

Q_DECLARE_METATYPE(TScanArea *)

// Resolutions and units an area may have.
inline constexpr qint32 QualityMedium = 150;
inline constexpr qint32 QualityHigh = 300;
inline constexpr qint32 QualityVeryHigh = 600;
inline constexpr quint8 UnitsInches = 0;
inline constexpr quint8 UnitsCentimeters = 1;
inline constexpr quint8 UnitsPixels = 5;

// Item data of the lists that show areas (the main window's cbFormat, lvAreas).
inline QVariant ScanAreaData(TScanArea *Area)
{
    return QVariant::fromValue(Area);
}
inline TScanArea *ScanAreaFromData(const QVariant &Data)
{
    return Data.canConvert<TScanArea *>() ? Data.value<TScanArea *>() : nullptr;
}

// A length of the area's units in millimetres; pixels count at the area's resolution.
double AreaLengthMm(const TScanArea &Area, double Length);

// Short unit text: "in", "cm", "px", or "Unknown!" for any other code.
QString UnitsText(quint8 Units);

// The list entry's "Size" text: left x top (width x height) [unit], two decimals each.
QString ScanAreaSizeText(const TScanArea &Area);

// Orders area names the way users expect: by the regional collation, ignoring case.
int CompareAreaNames(const QString &A, const QString &B);

// Owns the areas it holds and frees each exactly once.
class TScanAreaList
{
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TScanArea *At(int Index) const { return items_.at(static_cast<size_t>(Index)).get(); }
    TScanArea *Add(std::unique_ptr<TScanArea> Area);
    int IndexOf(const TScanArea *Area) const;
    // Frees the area; false when it is not held here.
    bool Delete(const TScanArea *Area);
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TScanArea>> items_;
};
