#pragma once

#include "support/QtPrinting.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh temporary folder for one test: HOME and the XDG folders point into it
// and the executable's folder is its "bin" sub-folder. Restores all on destruction.
class TTestEnvironment
{
public:
    TTestEnvironment();
    ~TTestEnvironment();

    QString Root() const { return dir_.path(); }
    QString Path(const QString &Relative) const { return dir_.filePath(Relative); }
    QString ExeDir() const { return Path(QStringLiteral("bin")) + QLatin1Char('/'); }

    // Writes Bytes to a file below Root, creating folders; returns its full path.
    QString WriteFile(const QString &Relative, const QByteArray &Bytes) const;

private:
    QTemporaryDir dir_;
    QByteArray savedHome_;
    QByteArray savedDataHome_;
    QByteArray savedConfigHome_;
    QByteArray savedStateHome_;
};
