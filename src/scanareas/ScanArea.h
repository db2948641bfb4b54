#pragma once

#include <QString>

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
};
