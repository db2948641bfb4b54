#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// 8-bit text in the system code page. On this platform the code page is UTF-8;
// input that is not valid UTF-8 is taken as Windows-1252.
using AnsiString = QByteArray;

AnsiString ToAnsi(const QString &Text);
QString FromAnsi(QByteArrayView Bytes);

bool IsValidUtf8(QByteArrayView Bytes);
QString DecodeWindows1252(QByteArrayView Bytes);

// Codes and file names change case only in the letters A to Z.
AnsiString AnsiLowerCase(AnsiString Text);
AnsiString AnsiUpperCase(AnsiString Text);
