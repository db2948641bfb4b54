#include "platform/AppError.h"
#include "settings/BalloonHint.h"
#include "settings/Configuration.h"
#include "settings/SettingsStore.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

const QString kStoreFile = QStringLiteral("home/.config/Quorvath/Vellumora.conf");

void writeStore(const TTestEnvironment &Env, const QByteArray &Text)
{
    ASSERT_FALSE(Env.WriteFile(kStoreFile, Text).isEmpty());
}

QStringList storedLines(const TTestEnvironment &Env)
{
    QFile file(Env.Path(kStoreFile));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// "text=value" for every item, in display order.
QStringList items(const QComboBox *Box)
{
    QStringList result;
    for (int i = 0; i < Box->count(); ++i)
        result << Box->itemText(i) + QLatin1Char('=') + Box->itemData(i).toString();
    return result;
}

} // namespace

TEST(SettingsStore, FirstRunGivesDefaultsAndSavingWritesAllFourValues)
{
    TTestEnvironment env;
    EXPECT_EQ(SettingsFileName(), env.Path(kStoreFile));

    const TStoredSettings first = LoadSettingsValues();
    EXPECT_FALSE(first.KeyExisted);
    EXPECT_EQ(first.TransferMode, 1);
    EXPECT_EQ(first.FileNames, 0);
    EXPECT_TRUE(first.LastUsedScanArea.isEmpty());
    EXPECT_TRUE(first.WatermarkText.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(env.Path(kStoreFile))) << "reading must not create the store";

    SaveSettingsValues(first);
    const QStringList lines = storedLines(env);
    for (const char *line : {"TransferMode=1", "FileNames=0", "LastUsedScanArea=", "WatermarkText="})
        EXPECT_TRUE(lines.contains(QLatin1String(line))) << line;
    EXPECT_TRUE(LoadSettingsValues().KeyExisted);

    TStoredSettings saved;
    saved.TransferMode = 2;
    saved.FileNames = 2;
    saved.LastUsedScanArea = QStringLiteral("Größe A4, \"300\" dpi; [x]");
    saved.WatermarkText = QStringLiteral("www.quorvath.com");
    SaveSettingsValues(saved);
    const TStoredSettings loaded = LoadSettingsValues();
    EXPECT_EQ(loaded.TransferMode, 2);
    EXPECT_EQ(loaded.FileNames, 2);
    EXPECT_EQ(loaded.LastUsedScanArea, saved.LastUsedScanArea);
    EXPECT_EQ(loaded.WatermarkText, saved.WatermarkText);
}

TEST(SettingsStore, StoredNumbersAreClampedOrFallBackToTheirDefaults)
{
    struct Case
    {
        const char *Stored;
        int TransferMode;
        int FileNames;
    };
    const Case cases[] = {
        {"TransferMode=0", 0, 0},              // file transfer survives although the dialog lacks it
        {"TransferMode=7", 1, 0},
        {"TransferMode=258", 2, 0},            // low 8 bits
        {"TransferMode=-1", 1, 0},             // 0xFFFFFFFF: low 8 bits 255
        {"TransferMode=4294967042", 2, 0},     // 0xFFFFFF02 fits 32 bits
        {"TransferMode=1099511627778", 1, 0},  // does not fit 32 bits: wrong type, not low bits
        {"TransferMode=garbage", 1, 0},
        {"TransferMode=2, 2", 1, 0},           // read back as a list
        {"FileNames=-1", 1, 0},
        {"FileNames=5", 1, 0},
        {"FileNames=4294967297", 1, 0},        // would truncate to 1
        {"FileNames=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x2)", 1, 2},   // a typed integer
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Stored);
        TTestEnvironment env;   // a fresh file each time, so no cached reading
        writeStore(env, QByteArray("[General]\n") + c.Stored + '\n');
        const TStoredSettings loaded = LoadSettingsValues();
        EXPECT_TRUE(loaded.KeyExisted);
        EXPECT_EQ(loaded.TransferMode, c.TransferMode);
        EXPECT_EQ(loaded.FileNames, c.FileNames);
    }
}

TEST(SettingsStore, HandEditedFileWithGarbageKeepsItsGoodValuesAndStaysWritable)
{
    const QByteArray handEdited = "this is no setting\n[General\n\x01\x02\xff\xfe\n=5\n[General]\n"
                                  "TransferMode=two\nFileNames=2\nLastUsedScanArea=Card 300\n"
                                  "WatermarkText=@ByteArray(www.vellumora.com)\n";
    TTestEnvironment env;
    writeStore(env, handEdited);
    const TStoredSettings loaded = LoadSettingsValues();
    EXPECT_TRUE(loaded.KeyExisted);
    EXPECT_EQ(loaded.TransferMode, 1);
    EXPECT_EQ(loaded.FileNames, 2);
    EXPECT_EQ(loaded.LastUsedScanArea, QStringLiteral("Card 300"));
    EXPECT_TRUE(loaded.WatermarkText.isEmpty()) << "binary data is not a text value";

    // The parse complaint about the old content is no reason to refuse saving,
    // also when the save is the first to read the file.
    TTestEnvironment other;
    writeStore(other, handEdited);
    EXPECT_NO_THROW(SaveSettingsValues(loaded));
    EXPECT_TRUE(storedLines(other).contains(QStringLiteral("TransferMode=1")));
}

TEST(SettingsStore, StoresWithoutValuesMeanFirstRun)
{
    for (const QByteArray &content : {QByteArray(), QByteArray("; only a comment\n\n[General]\n")}) {
        TTestEnvironment env;
        writeStore(env, content);
        EXPECT_FALSE(LoadSettingsValues().KeyExisted) << content.constData();
    }
    // Neither does a file shared by the whole organisation count as ours.
    TTestEnvironment env;
    ASSERT_FALSE(env.WriteFile(QStringLiteral("home/.config/Quorvath.conf"),
                               "[General]\nTransferMode=2\n").isEmpty());
    const TStoredSettings loaded = LoadSettingsValues();
    EXPECT_FALSE(loaded.KeyExisted);
    EXPECT_EQ(loaded.TransferMode, 1);
}

// Without the lock file being dropped the save still succeeds, but only after
// Qt has waited half a minute for the file to age.
TEST(SettingsStore, EmptyLockFileLeftByAKilledSaveIsDropped)
{
    TTestEnvironment env;
    writeStore(env, "[General]\nTransferMode=2\n");
    ASSERT_FALSE(env.WriteFile(kStoreFile + QStringLiteral(".lock"), QByteArray()).isEmpty());
    TStoredSettings values;
    values.WatermarkText = QStringLiteral("after the crash");
    SaveSettingsValues(values);
    EXPECT_TRUE(storedLines(env).contains(QStringLiteral("WatermarkText=after the crash")));
    EXPECT_FALSE(QFileInfo::exists(env.Path(kStoreFile + QStringLiteral(".lock"))));
}

TEST(SettingsStore, UnwritableStoreRaisesAnAppErrorNamingTheFile)
{
    TTestEnvironment env;
    ASSERT_TRUE(QDir().mkpath(env.Path(kStoreFile)));   // a folder where the file belongs
    const TStoredSettings loaded = LoadSettingsValues();
    EXPECT_FALSE(loaded.KeyExisted);
    EXPECT_EQ(loaded.TransferMode, 1);
    try {
        SaveSettingsValues(loaded);
        ADD_FAILURE() << "no error raised";
    } catch (const EAppError &e) {
        EXPECT_TRUE(e.Message().contains(env.Path(kStoreFile))) << e.Message().toStdString();
    }
}

TEST(TfrmConfiguration, ListsAreSortedByTextAndCarryTheirValues)
{
    TTestEnvironment env;
    TfrmConfiguration form(nullptr);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Configuration"));
    EXPECT_EQ(items(form.cbTransfer), QStringList({"Memory=2", "Native (default)=1"}));
    EXPECT_EQ(items(form.cbNameBy),
              QStringList({"Card ID (default)=0", "Card name=1", "Card number=2"}));

    ASSERT_GE(form.cbWatermarkText->count(), 3);
    EXPECT_TRUE(form.cbWatermarkText->itemText(0).isEmpty());
    EXPECT_EQ(form.cbWatermarkText->currentIndex(), 0);
    EXPECT_TRUE(form.WatermarkText().isEmpty());
    EXPECT_TRUE(form.rb8->isChecked());
    EXPECT_EQ(form.WatermarkPosition(), 8);
    EXPECT_TRUE(form.btOk->isDefault());
}

TEST(TfrmConfiguration, ShowingSelectsTheSettingsAndOkKeepsAnUnofferedTransferMode)
{
    TTestEnvironment env;
    writeStore(env, "[General]\nTransferMode=0\nFileNames=2\n");
    TfrmConfiguration form(nullptr);
    form.LoadSettings();
    ASSERT_EQ(form.TransferMode, 0);

    TDialogRecorder recorder;
    recorder.QueueModal([](QDialog &Dialog) {
        auto &shown = static_cast<TfrmConfiguration &>(Dialog);
        shown.FormShow();
        EXPECT_EQ(shown.cbTransfer->currentIndex(), -1);
        EXPECT_EQ(shown.cbNameBy->currentText(), QStringLiteral("Card number"));
        shown.btOk->click();
        return shown.result();
    });
    EXPECT_EQ(ShowModal(form), QDialog::Accepted);
    EXPECT_EQ(form.TransferMode, 0);
    EXPECT_EQ(form.FileNames, 2);
    EXPECT_TRUE(storedLines(env).contains(QStringLiteral("TransferMode=0")));

    // Another showing follows changed fields.
    form.TransferMode = 2;
    form.FileNames = 0;
    form.show();
    EXPECT_EQ(form.cbTransfer->currentText(), QStringLiteral("Memory"));
    EXPECT_EQ(form.cbNameBy->currentIndex(), 0);
    form.hide();
}

TEST(TfrmConfiguration, CancelChangesNoFieldButTheWatermarkOkTakesTheSelections)
{
    TTestEnvironment env;
    TfrmConfiguration form(nullptr);
    form.LoadSettings();
    form.FormShow();
    form.cbTransfer->setCurrentIndex(form.cbTransfer->findData(2));
    form.cbNameBy->setCurrentIndex(form.cbNameBy->findData(2));
    form.cbWatermarkText->setCurrentIndex(2);
    form.btCancel->click();
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(form.TransferMode, 1);
    EXPECT_EQ(form.FileNames, 0);
    EXPECT_FALSE(QFileInfo::exists(env.Path(kStoreFile))) << "Cancel must not save";
    EXPECT_EQ(form.WatermarkText(), QStringLiteral("www.quorvath.com"));

    form.FormShow();
    form.cbTransfer->setCurrentIndex(form.cbTransfer->findData(2));
    form.cbNameBy->setCurrentIndex(form.cbNameBy->findData(1));
    form.btOk->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.TransferMode, 2);
    EXPECT_EQ(form.FileNames, 1);
    TfrmConfiguration nextRun(nullptr);
    nextRun.LoadSettings();
    EXPECT_TRUE(nextRun.SettingsKeyExisted);
    EXPECT_EQ(nextRun.TransferMode, 2);
    EXPECT_EQ(nextRun.FileNames, 1);
    EXPECT_EQ(nextRun.WatermarkText(), QStringLiteral("www.quorvath.com"));
}

TEST(TfrmConfiguration, ScanCheckIsOnUnlessStoredOffAndOkStoresTheBox)
{
    const struct
    {
        const char *Stored;
        bool CheckScans;
    } cases[] = {
        {"TransferMode=1", true},   // a store of a version without the setting
        {"CheckScans=0", false},
        {"CheckScans=1", true},
        {"CheckScans=no", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Stored);
        TTestEnvironment env;
        writeStore(env, QByteArray("[General]\n") + c.Stored + '\n');
        TfrmConfiguration form(nullptr);
        form.LoadSettings();
        form.FormShow();
        EXPECT_EQ(form.chkCheckScans->isChecked(), c.CheckScans);

        form.chkCheckScans->click();
        form.btOk->click();
        TfrmConfiguration nextRun(nullptr);
        nextRun.LoadSettings();
        EXPECT_EQ(nextRun.CheckScans, !c.CheckScans);
    }
}

TEST(TfrmConfiguration, LoadSettingsSelectsOnlyAStoredWatermarkOfTheList)
{
    struct Case
    {
        const char *Stored;
        int Before;
        QString After;
    };
    const Case cases[] = {
        {"WatermarkText=www.vellumora.com\n", 0, QStringLiteral("www.vellumora.com")},
        {"WatermarkText=www.elsewhere.example\n", 2, QStringLiteral("www.quorvath.com")},
        {"FileNames=1\n", 2, QString()},   // no stored text: no watermark
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Stored);
        TTestEnvironment env;
        writeStore(env, QByteArray("[General]\n") + c.Stored);
        TfrmConfiguration form(nullptr);
        form.cbWatermarkText->setCurrentIndex(c.Before);
        form.LoadSettings();
        EXPECT_EQ(form.WatermarkText(), c.After);
    }
}

TEST(TfrmConfiguration, OkWithAnUnwritableStoreReportsTheErrorAndStaysOpen)
{
    TTestEnvironment env;
    ASSERT_TRUE(QDir().mkpath(env.Path(kStoreFile)));
    TfrmConfiguration form(nullptr);
    form.LoadSettings();
    TDialogRecorder recorder;
    form.show();
    form.btOk->click();
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_TRUE(recorder.Messages[0].Text.contains(env.Path(kStoreFile)));
    EXPECT_TRUE(form.isVisible());
    form.hide();
}

TEST(TfrmConfiguration, PicturesCheckTheirPositionAndManageRunsTheScanSizeCommand)
{
    TTestEnvironment env;
    TfrmConfiguration form(nullptr);
    form.show();
    EXPECT_EQ(form.im1->pixmap().size(), QSize(16, 16));
    QTest::mouseClick(form.im1, Qt::LeftButton);
    EXPECT_TRUE(form.rb1->isChecked());
    QTest::mouseClick(form.im9, Qt::LeftButton);
    EXPECT_TRUE(form.rb9->isChecked());
    EXPECT_EQ(form.WatermarkPosition(), 9);

    QAction scanSize(QStringLiteral("Scan size"));
    int runs = 0;
    QObject::connect(&scanSize, &QAction::triggered, [&runs] { ++runs; });
    form.SetScanSizeAction(&scanSize);
    form.btManage->click();
    EXPECT_EQ(runs, 1);
    form.hide();
}

TEST(TfrmConfiguration, HintButtonsShowABalloonThatClosesByItself)
{
    TTestEnvironment env;
    TfrmConfiguration form(nullptr);
    form.show();
    TBalloonHint &balloon = *form.Balloon;

    form.btHintTransfer->click();
    ASSERT_TRUE(balloon.isVisible());
    EXPECT_EQ(balloon.Target(), form.cbTransfer);
    EXPECT_EQ(balloon.TipPoint().x(), form.cbTransfer->mapToGlobal(form.cbTransfer->rect().center()).x());
    EXPECT_EQ(balloon.Header(), QStringLiteral("Information"));
    EXPECT_EQ(balloon.Text(), QStringLiteral("Transfer mode from scanner to PC. Change if you are "
                                             "receiving corrupted image."));
    EXPECT_LE(balloon.width(), TBalloonHint::MaxWidth);
    EXPECT_TRUE(balloon.HideTimer()->isActive());
    EXPECT_EQ(balloon.HideTimer()->interval(), 5000);
    QMetaObject::invokeMethod(balloon.HideTimer(), "timeout");
    EXPECT_FALSE(balloon.isVisible());

    form.btHintNameBy->click();
    EXPECT_EQ(balloon.Target(), form.cbNameBy);
    EXPECT_EQ(balloon.Text(), QStringLiteral("Card names can be ambiguous within set, so use options "
                                             "other than \"Card ID\" very carefully!"));
    balloon.CloseButton()->click();
    EXPECT_FALSE(balloon.isVisible());
    EXPECT_FALSE(balloon.HideTimer()->isActive());

    form.btHintNameBy->click();
    form.hide();
    EXPECT_FALSE(balloon.isVisible()) << "the balloon must not outlive the dialog's showing";
}
