#pragma once

#include <QString>
#include <QtGlobal>

// The user settings as kept in the per-user store, plus whether the store
// held anything when they were read.
struct TStoredSettings
{
    quint8 TransferMode = 1;    // 0 file, 1 native, 2 memory
    int FileNames = 0;          // 0 card ID, 1 card name, 2 card number
    QString LastUsedScanArea;
    QString WatermarkText;
    // The scan store's folder; empty for the default place.
    QString ScanStoreFolder;
    // Each scan looked at before it is saved: the previous card again, or no card.
    bool CheckScans = true;

    // The settings file existed as a regular file and held at least one value
    // (of any name). A missing, empty or comment-only file counts as a first run.
    bool KeyExisted = false;
};

// The store is QSettings(NativeFormat, UserScope, "Quorvath", "Vellumora"):
// on Linux ~/.config/Quorvath/Vellumora.conf. This is its full path.
QString SettingsFileName();

// Reads each value on its own: a missing value, or one of the wrong type,
// keeps that setting's default; out-of-range numbers are clamped. Never
// creates the store and never fails.
TStoredSettings LoadSettingsValues();

// Writes "TransferMode", "FileNames", "LastUsedScanArea", "WatermarkText", "ScanStoreFolder"
// and "CheckScans",
// creating the store if missing. KeyExisted is not written. Throws EAppError
// when the store cannot be written; then nothing of it is written.
void SaveSettingsValues(const TStoredSettings &Values);
