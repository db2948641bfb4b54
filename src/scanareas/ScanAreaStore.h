#pragma once

#include "scanareas/ScanArea.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The INI store of the scan areas: one section per area, named after it, with
// the keys Quality, Units, Left, Top, Width and Height.

// Our data folder, ending in the separator; the store lives there.
QString ScanAreaStoreDir();
inline QString ScanAreaStoreName() { return QStringLiteral("scan areas.ini"); }
inline QString ScanAreaBackupName() { return QStringLiteral("scan areas.old"); }
// The new content is written here first and moved into place once complete.
inline QString ScanAreaTempName() { return QStringLiteral("scan areas.new"); }
// Holds the old store while the new one is moved into place.
inline QString ScanAreaPreviousName() { return QStringLiteral("scan areas.prev"); }

// Whether a name survives as an INI section name: no "]" and no line break or
// other control character, which would cut or split the section header.
bool IsStorableScanAreaName(const QString &Name);

// Creates the folder with any missing parents; false when that fails.
bool ForceScanAreaStoreDir(const QString &Dir);

// The areas of INI text, in the order their sections first appear. Every key is
// read on its own: a missing or unreadable value takes its default, a quality or
// unit outside its set is replaced. Decimals are read with "." or "," whatever
// the regional separator, as the file may come from another locale. Sections
// whose names differ only in the case of A to Z are one area; a section without
// a name, or with one that could not have been written, is no area.
std::vector<TScanArea> ParseScanAreas(const QByteArray &Ini);
// The areas of a store file; a missing or unreadable file holds none.
std::vector<TScanArea> ReadScanAreaStore(const QString &FileName);

// The INI text of the areas, in the given order; an area whose name the store
// cannot hold is left out, so it cannot damage the sections around it.
QByteArray FormatScanAreas(const std::vector<const TScanArea *> &Areas);

// Replaces the store in Dir by the areas and keeps the store as it was before
// as the backup. With no areas no store remains, only the backup. The new text
// is complete on disk before anything is renamed: a failure leaves the store
// and its backup as they were and throws EAppError.
void WriteScanAreaStore(const QString &Dir, const std::vector<const TScanArea *> &Areas);
