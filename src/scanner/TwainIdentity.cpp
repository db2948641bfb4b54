#include "scanner/TwainIdentity.h"

#include <algorithm>
#include <cstring>

TTwainIdentity::TTwainIdentity()
{
    std::memset(&record_, 0, sizeof record_);
}

void TTwainIdentity::MakeAppIdentity()
{
    std::memset(&record_, 0, sizeof record_);
    record_.Id = 0;
    record_.Version.MajorNum = 1;
    record_.Version.MinorNum = 0;
    record_.Version.Language = AppIdentityLanguage;
    record_.Version.Country = 1;
    SetVersionInfo("Application name");
    record_.ProtocolMajor = 1;
    record_.ProtocolMinor = 9;
    record_.SupportedGroups = DG_CONTROL | DG_IMAGE;
    SetManufacturer("Application manufacturer");
    SetProductFamily("App product family");
    SetProductName("App product name");
}

QByteArray TTwainIdentity::readText(const TW_STR32 &Field)
{
    const size_t length = strnlen(Field, sizeof(TW_STR32));
    return QByteArray(Field, static_cast<qsizetype>(length));
}

void TTwainIdentity::writeText(TW_STR32 &Field, const QByteArray &Text)
{
    std::memset(Field, 0, sizeof(TW_STR32));
    std::memcpy(Field, Text.constData(), std::min<size_t>(Text.size(), sizeof(TW_STR32)));
}
