#pragma once

#include <QImage>
#include <QString>

// A binary 8-bit PPM file (P6, maximum 255) mapped into memory and shown as a
// read-only Format_RGB888 image without copying: the benchmark's A4 pages are
// 100 MB. A null image when the file is anything else.
QImage MapPpmImage(const QString &FileName);
