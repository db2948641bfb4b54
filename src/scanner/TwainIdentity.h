#pragma once

#include "scanner/TwainTypes.h"

#include <QByteArray>

// One TW_IDENTITY: the application's own, and the base of every source.
class TTwainIdentity
{
public:
    // A zero-filled record; MakeAppIdentity gives the application's values.
    TTwainIdentity();
    virtual ~TTwainIdentity() = default;

    TTwainIdentity(const TTwainIdentity &) = delete;
    TTwainIdentity &operator=(const TTwainIdentity &) = delete;

    // The record exactly as it is exchanged with the manager.
    TW_IDENTITY *Record() { return &record_; }
    const TW_IDENTITY *Record() const { return &record_; }

    // The four text fields are written zero-filled and cut at 34 bytes, and read up
    // to the first zero byte, so a record without terminator never over-reads.
    QByteArray VersionInfo() const { return readText(record_.Version.Info); }
    void SetVersionInfo(const QByteArray &Text) { writeText(record_.Version.Info, Text); }
    QByteArray Manufacturer() const { return readText(record_.Manufacturer); }
    void SetManufacturer(const QByteArray &Text) { writeText(record_.Manufacturer, Text); }
    QByteArray ProductFamily() const { return readText(record_.ProductFamily); }
    void SetProductFamily(const QByteArray &Text) { writeText(record_.ProductFamily, Text); }
    QByteArray ProductName() const { return readText(record_.ProductName); }
    void SetProductName(const QByteArray &Text) { writeText(record_.ProductName, Text); }

    // Fills in the application identity that every call names as its origin.
    void MakeAppIdentity();

private:
    static QByteArray readText(const TW_STR32 &Field);
    static void writeText(TW_STR32 &Field, const QByteArray &Text);

    TW_IDENTITY record_;
};

// The language code of the application identity: the standard's "user's locale".
inline constexpr TW_UINT16 AppIdentityLanguage = 0xFFFF;
