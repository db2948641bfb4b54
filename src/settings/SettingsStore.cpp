#include "settings/SettingsStore.h"

#include "platform/AppError.h"
#include "platform/MessageCatalogue.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QVariant>

#include <limits>
#include <memory>
#include <optional>

namespace {

const QString kTransferMode = QStringLiteral("TransferMode");
const QString kFileNames = QStringLiteral("FileNames");
const QString kLastUsedScanArea = QStringLiteral("LastUsedScanArea");
const QString kWatermarkText = QStringLiteral("WatermarkText");
const QString kScanStoreFolder = QStringLiteral("ScanStoreFolder");
// A key of its own, which versions before it never read: a store shared with
// them keeps working both ways.
const QString kCheckScans = QStringLiteral("CheckScans");

std::unique_ptr<QSettings> openStore()
{
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                QStringLiteral("Quorvath"),
                                                QStringLiteral("Vellumora"));
    // Only our own file counts: a system-wide or organisation-wide file must
    // neither supply values nor hide the first run.
    settings->setFallbacksEnabled(false);
    return settings;
}

// A stored 32-bit number. Text that is not a decimal integer, a list, binary
// data or a number outside 32 bits is a value of the wrong type. Negative
// numbers are taken as their 32-bit pattern, as a DWORD would hold them.
std::optional<quint32> readDword(const QSettings &Settings, const QString &Name)
{
    const QVariant value = Settings.value(Name);
    qint64 number = 0;
    bool ok = false;
    switch (value.typeId()) {
    case QMetaType::QString:
        number = value.toString().toLongLong(&ok, 10);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        number = value.toLongLong(&ok);
        break;
    case QMetaType::ULongLong: {
        const qulonglong unsignedNumber = value.toULongLong(&ok);
        ok = ok && unsignedNumber <= std::numeric_limits<quint32>::max();
        number = static_cast<qint64>(unsignedNumber & 0xFFFFFFFFu);
        break;
    }
    default:
        return std::nullopt;
    }
    if (!ok || number < std::numeric_limits<qint32>::min()
        || number > static_cast<qint64>(std::numeric_limits<quint32>::max()))
        return std::nullopt;
    return static_cast<quint32>(number);
}

// A missing value, or one that is not text, reads as empty.
QString readString(const QSettings &Settings, const QString &Name)
{
    const QVariant value = Settings.value(Name);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// A save killed while Qt was creating the store's lock file leaves that file
// empty. It names no owner whose end Qt could notice, so every later save
// would wait half a minute for it to age, with the window frozen. An owner
// writes its name into the lock file the moment it creates it, so a lock file
// without one is a leftover.
void dropOwnerlessLock(const QString &FileName)
{
    const QString lockName = FileName + QStringLiteral(".lock");
    if (!QFileInfo(lockName).isFile())
        return;
    qint64 pid = 0;
    QString host, application;
    if (!QLockFile(lockName).getLockInfo(&pid, &host, &application))
        QFile::remove(lockName);
}

} // namespace

QString SettingsFileName()
{
    return openStore()->fileName();
}

TStoredSettings LoadSettingsValues()
{
    const std::unique_ptr<QSettings> settings = openStore();
    TStoredSettings result;
    result.KeyExisted = QFileInfo(settings->fileName()).isFile() && !settings->allKeys().isEmpty();

    if (const auto stored = readDword(*settings, kTransferMode))
        result.TransferMode = static_cast<quint8>(*stored & 0xFFu);
    if (result.TransferMode >= 3)
        result.TransferMode = 1;

    if (const auto stored = readDword(*settings, kFileNames))
        result.FileNames = static_cast<qint32>(*stored);
    if (result.FileNames < 0 || result.FileNames > 2)
        result.FileNames = 0;

    result.LastUsedScanArea = readString(*settings, kLastUsedScanArea);
    result.WatermarkText = readString(*settings, kWatermarkText);
    result.ScanStoreFolder = readString(*settings, kScanStoreFolder);
    if (const auto stored = readDword(*settings, kCheckScans))
        result.CheckScans = *stored != 0;
    return result;
}

void SaveSettingsValues(const TStoredSettings &Values)
{
    const std::unique_ptr<QSettings> settings = openStore();
    const QString fileName = settings->fileName();
    const auto failure = [&fileName] {
        return EAppError(_("The settings could not be saved to \"%1\".").arg(fileName));
    };
    // Checked first: values set on a store that cannot be written would linger
    // in QSettings' shared cache as if they had been stored.
    if (!settings->isWritable())
        throw failure();
    dropOwnerlessLock(fileName);

    settings->setValue(kTransferMode, static_cast<uint>(Values.TransferMode));
    settings->setValue(kFileNames, Values.FileNames);
    settings->setValue(kLastUsedScanArea, Values.LastUsedScanArea);
    settings->setValue(kWatermarkText, Values.WatermarkText);
    settings->setValue(kScanStoreFolder, Values.ScanStoreFolder);
    settings->setValue(kCheckScans, Values.CheckScans ? 1 : 0);
    settings->sync();
    // A malformed file leaves FormatError from reading, which is no write failure.
    if (settings->status() == QSettings::AccessError)
        throw failure();
}
