#include "scanareas/ScanAreaStore.h"

#include "platform/AnsiText.h"
#include "platform/AppError.h"
#include "platform/AppPaths.h"
#include "platform/MessageCatalogue.h"
#include "scanareas/DecimalText.h"

#include <QDir>
#include <QFile>

#include <SimpleIni.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char *kQuality = "Quality";
constexpr const char *kUnits = "Units";
constexpr const char *kLeft = "Left";
constexpr const char *kTop = "Top";
constexpr const char *kWidth = "Width";
constexpr const char *kHeight = "Height";
// Keys of later versions, written only for areas that use them: older readers
// skip them, and areas without them read as before.
constexpr const char *kCropToCard = "CropToCard";
constexpr const char *kCardWidth = "CardWidth";
constexpr const char *kCardHeight = "CardHeight";
constexpr const char *kSeveralCards = "SeveralCards";

// A decimal integer with an optional sign that fits 32 bits.
std::optional<qint32> parseInt32(const QString &Text)
{
    bool ok = false;
    const QString trimmed = Text.trimmed();
    // toInt() alone would also take a leading "+"; keep it, but nothing but digits after.
    for (int i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed[i];
        const bool sign = i == 0 && (c == QLatin1Char('+') || c == QLatin1Char('-'));
        if (!sign && (c < QLatin1Char('0') || c > QLatin1Char('9')))
            return std::nullopt;
    }
    const qint32 value = trimmed.toInt(&ok, 10);
    return ok ? std::optional<qint32>(value) : std::nullopt;
}

QString valueOf(const CSimpleIniA &Ini, const char *Section, const char *Key)
{
    const char *value = Ini.GetValue(Section, Key, nullptr);
    return value ? FromAnsi(QByteArrayView(value)) : QString();
}

qint32 readQuality(const CSimpleIniA &Ini, const char *Section)
{
    const qint32 quality = parseInt32(valueOf(Ini, Section, kQuality)).value_or(QualityMedium);
    if (quality != QualityMedium && quality != QualityHigh && quality != QualityVeryHigh)
        return QualityMedium;
    return quality;
}

quint8 readUnits(const CSimpleIniA &Ini, const char *Section)
{
    // Only the low byte counts, so 256 reads as inches.
    const auto units = static_cast<quint8>(
        parseInt32(valueOf(Ini, Section, kUnits)).value_or(UnitsInches) & 0xFF);
    if (units != UnitsInches && units != UnitsCentimeters && units != UnitsPixels)
        return UnitsPixels;
    return units;
}

double readDecimal(const CSimpleIniA &Ini, const char *Section, const char *Key, double Default)
{
    return ParseStoredDecimal(valueOf(Ini, Section, Key)).value_or(Default);
}

fs::path toPath(const QString &Path)
{
    return fs::path(QFile::encodeName(Path).toStdString());
}

QString saveFailure(const QString &FileName, const QString &Reason)
{
    return _("The scan areas cannot be saved to \"%1\": %2")
        .arg(QDir::toNativeSeparators(FileName), Reason);
}

QString reasonOf(const std::error_code &Error)
{
    return QString::fromLocal8Bit(Error.message());
}

// Writes the whole text and puts it on disk; on failure nothing of ours is left.
void writeComplete(const QString &FileName, const QByteArray &Text)
{
    QFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EAppError(saveFailure(FileName, file.errorString()));
    const bool written = file.write(Text) == Text.size() && file.flush()
                         && ::fsync(file.handle()) == 0;
    const QString reason = file.errorString();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        file.remove();
        throw EAppError(saveFailure(FileName, reason));
    }
}

} // namespace

bool IsStorableScanAreaName(const QString &Name)
{
    for (const QChar c : Name)
        if (c == QLatin1Char(']') || c.unicode() < 32 || c.unicode() == 0x7F
            || c.unicode() == 0x2028 || c.unicode() == 0x2029)
            return false;
    return true;
}

QString ScanAreaStoreDir()
{
    return VellumoraDataDir();
}

bool ForceScanAreaStoreDir(const QString &Dir)
{
    return QDir().mkpath(Dir);
}

std::vector<TScanArea> ParseScanAreas(const QByteArray &Ini)
{
    std::vector<TScanArea> areas;
    CSimpleIniA ini(false, false, false);
    if (ini.LoadData(Ini.constData(), static_cast<size_t>(Ini.size())) < 0)
        return areas;

    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    for (const CSimpleIniA::Entry &section : sections) {
        const char *name = section.pItem;
        if (!name || !*name)
            continue;
        TScanArea area;
        area.Name = FromAnsi(QByteArrayView(name));
        if (!IsStorableScanAreaName(area.Name))
            continue;
        area.Quality = readQuality(ini, name);
        area.Units = readUnits(ini, name);
        area.Left = readDecimal(ini, name, kLeft, 0);
        area.Top = readDecimal(ini, name, kTop, 0);
        area.Width = readDecimal(ini, name, kWidth, 100);
        area.Height = readDecimal(ini, name, kHeight, 100);
        area.CropToCard = parseInt32(valueOf(ini, name, kCropToCard)).value_or(0) == 1;
        area.SeveralCards = parseInt32(valueOf(ini, name, kSeveralCards)).value_or(0) == 1;
        if (area.SeveralCards)
            area.CropToCard = false;
        // A size that cannot be a card's is no size: the editor asks for one.
        area.CardWidth = std::max(0.0, readDecimal(ini, name, kCardWidth, 0));
        area.CardHeight = std::max(0.0, readDecimal(ini, name, kCardHeight, 0));
        areas.push_back(std::move(area));
    }
    return areas;
}

std::vector<TScanArea> ReadScanAreaStore(const QString &FileName)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseScanAreas(file.readAll());
}

QByteArray FormatScanAreas(const std::vector<const TScanArea *> &Areas)
{
    CSimpleIniA ini(false, false, false);
    ini.SetSpaces(false);
    for (const TScanArea *area : Areas) {
        // Keys before any section would belong to no area.
        if (!area || area->Name.isEmpty() || !IsStorableScanAreaName(area->Name))
            continue;
        const QByteArray section = ToAnsi(area->Name);
        const auto set = [&](const char *Key, const QByteArray &Value) {
            ini.SetValue(section.constData(), Key, Value.constData());
        };
        set(kQuality, QByteArray::number(area->Quality));
        set(kUnits, QByteArray::number(area->Units));
        set(kLeft, ToAnsi(FormatDecimal(area->Left)));
        set(kTop, ToAnsi(FormatDecimal(area->Top)));
        set(kWidth, ToAnsi(FormatDecimal(area->Width)));
        set(kHeight, ToAnsi(FormatDecimal(area->Height)));
        if (area->CropToCard || area->SeveralCards || area->CardWidth > 0 || area->CardHeight > 0) {
            set(kCropToCard, area->CropToCard && !area->SeveralCards ? "1" : "0");
            set(kCardWidth, ToAnsi(FormatDecimal(area->CardWidth)));
            set(kCardHeight, ToAnsi(FormatDecimal(area->CardHeight)));
        }
        if (area->SeveralCards)
            set(kSeveralCards, "1");
    }
    std::string text;
    ini.Save(text);
    return QByteArray::fromStdString(text);
}

void WriteScanAreaStore(const QString &Dir, const std::vector<const TScanArea *> &Areas)
{
    const QString dir = IncludeTrailingPathDelimiter(Dir);
    const QString storeName = dir + ScanAreaStoreName();
    if (!ForceScanAreaStoreDir(dir))
        throw EAppError(saveFailure(storeName, _("The folder cannot be created.")));

    const fs::path store = toPath(storeName);
    const fs::path backup = toPath(dir + ScanAreaBackupName());
    const fs::path previous = toPath(dir + ScanAreaPreviousName());
    const QString tempName = dir + ScanAreaTempName();
    const fs::path temp = toPath(tempName);
    std::error_code error;
    const bool haveStore = fs::is_regular_file(store, error);

    if (Areas.empty()) {
        // The store becomes the backup and no new store is written.
        if (haveStore) {
            fs::rename(store, backup, error);
            if (error)
                throw EAppError(saveFailure(storeName, reasonOf(error)));
        }
        return;
    }

    writeComplete(tempName, FormatScanAreas(Areas));

    // A second name for the old store, so it can become the backup only once
    // the new store is in place.
    if (haveStore) {
        std::error_code ignored;
        if (fs::is_regular_file(fs::symlink_status(previous, ignored)))
            fs::remove(previous, ignored);
        fs::create_hard_link(store, previous, error);
        if (error) {
            error.clear();
            fs::copy_file(store, previous, fs::copy_options::overwrite_existing, error);
        }
        if (error) {
            fs::remove(temp, ignored);
            throw EAppError(saveFailure(storeName, reasonOf(error)));
        }
    }

    fs::rename(temp, store, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        if (haveStore)
            fs::remove(previous, ignored);
        throw EAppError(saveFailure(storeName, reasonOf(error)));
    }

    if (haveStore) {
        fs::rename(previous, backup, error);
        if (error) {
            // Put the old store back, so store and backup stay as they were.
            std::error_code ignored;
            fs::rename(previous, store, ignored);
            throw EAppError(saveFailure(storeName, reasonOf(error)));
        }
    }
}
