#include "TestHelpers.h"

#include "platform/AppError.h"
#include "scanareas/CustomizeFormat.h"
#include "scanareas/ScanAreaStore.h"
#include "scanareas/ScanAreas.h"
#include "support/DialogRecorder.h"
#include "support/TestEnvironment.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>

namespace {

const char *const kStore =
    "[zeta]\nQuality=150\nUnits=1\nWidth=5\nHeight=8\n"
    "[Standard]\nQuality=300\nUnits=0\nLeft=0.1\nTop=0.1\nWidth=2.5\nHeight=3.5\n"
    "[beta]\nQuality=600\nUnits=5\nWidth=700\nHeight=900\n"
    "[Alpha]\nQuality=300\nUnits=0\nWidth=1\nHeight=1\n";

QStringList names(const QStringList &Names) { return Names; }

class ScanAreaDialogTest : public ::testing::Test
{
protected:
    QString storeFile() const { return ScanAreaStoreDir() + ScanAreaStoreName(); }

    void load(const QByteArray &Store)
    {
        env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"), Store);
        areas.LoadScanAreas();
    }
    QStringList listNames() const
    {
        QStringList out;
        for (int i = 0; i < areas.lvAreas->topLevelItemCount(); ++i)
            out << areas.lvAreas->topLevelItem(i)->text(0);
        return out;
    }
    QStringList formatNames() const
    {
        QStringList out;
        for (int i = 0; i < cbFormat.count(); ++i) {
            const TScanArea *area = ScanAreaFromData(cbFormat.itemData(i));
            out << (area && area->Name == cbFormat.itemText(i) ? area->Name : QStringLiteral("?"));
        }
        return out;
    }
    QTreeWidgetItem *entry(const QString &Name) const
    {
        const auto found = areas.lvAreas->findItems(Name, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.first();
    }
    void select(const QString &Name) { areas.lvAreas->setCurrentItem(entry(Name)); }
    void choose(const QString &Name) { cbFormat.setCurrentIndex(cbFormat.findText(Name)); }

    // The next showing of the editor runs Steps; its result is the editor's own.
    void onEditor(std::function<void(TfrmCustomizeFormat &)> Steps)
    {
        recorder.QueueModal([Steps](QDialog &Dialog) {
            auto &form = static_cast<TfrmCustomizeFormat &>(Dialog);
            Steps(form);
            return form.result();
        });
    }
    static void enter(TfrmCustomizeFormat &Form, const QString &Name, const QString &Width,
                      const QString &Height, const QString &Left = {})
    {
        Form.edName->setText(Name);
        Form.edLeft->setText(Left);
        Form.edWidth->setText(Width);
        Form.edHeight->setText(Height);
        Form.btSet->click();
    }

    TTestEnvironment env;
    TLocaleGuard locale{TLocaleGuard::Point()};
    TDialogRecorder recorder;
    QComboBox cbFormat;
    TfrmCustomizeFormat editor{nullptr};
    TfrmScanAreas areas{nullptr, &cbFormat, &editor};
    // Checks every change of the area list's model; gone before the list is.
    QAbstractItemModelTester modelTester{areas.lvAreas->model(), QAbstractItemModelTester::FailureReportingMode::Fatal};
};

const QStringList kSorted = {QStringLiteral("Alpha"), QStringLiteral("beta"),
                             QStringLiteral("Standard"), QStringLiteral("zeta")};

} // namespace

TEST_F(ScanAreaDialogTest, LoadingFillsBothListsInNameOrder)
{
    areas.LoadScanAreas();
    EXPECT_TRUE(QDir(ScanAreaStoreDir()).exists());
    EXPECT_EQ(cbFormat.count(), 0);

    load(kStore);
    EXPECT_EQ(listNames(), kSorted);
    EXPECT_EQ(formatNames(), kSorted);
    EXPECT_EQ(cbFormat.currentIndex(), -1);
    EXPECT_EQ(entry(QStringLiteral("Standard"))->text(1), QStringLiteral("300"));
    EXPECT_EQ(entry(QStringLiteral("Standard"))->text(2), QStringLiteral("0.10x0.10 (2.50x3.50) [in]"));

    // A refill keeps the main window's choice; loading again replaces every area.
    choose(QStringLiteral("Standard"));
    areas.RefreshLists();
    EXPECT_EQ(cbFormat.currentText(), QStringLiteral("Standard"));
    areas.LoadScanAreas();
    EXPECT_EQ(areas.Areas.Count(), 4);
    EXPECT_EQ(formatNames(), kSorted);
}

TEST_F(ScanAreaDialogTest, AddingPlacesTheAreaAndSavesAtOnce)
{
    areas.LoadScanAreas();
    onEditor([](TfrmCustomizeFormat &Form) { enter(Form, QStringLiteral(" First "), QStringLiteral("1"), QStringLiteral("1")); });
    areas.btAddClick();
    EXPECT_EQ(formatNames(), names({QStringLiteral("First")}));
    EXPECT_EQ(cbFormat.currentIndex(), -1);   // adding never makes a choice for the user

    load(kStore);
    choose(QStringLiteral("beta"));
    onEditor([](TfrmCustomizeFormat &Form) {
        EXPECT_EQ(Form.windowTitle(), QStringLiteral("New scan area"));
        EXPECT_TRUE(Form.edName->isEnabled());
        EXPECT_EQ(Form.cbQuality->currentData().toInt(), 300);
        EXPECT_EQ(Form.cbUnits->currentData().toInt(), 5);
        Form.cbQuality->setCurrentIndex(0);
        Form.cbUnits->setCurrentIndex(0);
        enter(Form, QStringLiteral("ace"), QStringLiteral("2.5"), QStringLiteral("3.5"));
        EXPECT_EQ(Form.EditedArea, nullptr);
    });
    areas.btAdd->click();

    const QStringList sorted = QStringList({QStringLiteral("ace")}) + kSorted;
    EXPECT_EQ(listNames(), sorted);
    EXPECT_EQ(formatNames(), sorted);
    EXPECT_EQ(cbFormat.currentText(), QStringLiteral("beta"));
    EXPECT_TRUE(recorder.Messages.empty());
    const auto stored = ReadScanAreaStore(storeFile());
    ASSERT_EQ(stored.size(), 5u);
    const TScanArea &ace = stored[0];
    EXPECT_EQ(QStringLiteral("%1 %2 %3 %4 %5 %6").arg(ace.Name).arg(ace.Quality).arg(ace.Units)
                  .arg(ace.Left).arg(ace.Width).arg(ace.Height),
              QStringLiteral("ace 150 1 0 2.5 3.5"));
}

TEST_F(ScanAreaDialogTest, EditorChecksRunInOrderAndKeepItOpen)
{
    load(kStore);
    areas.SaveScanAreas();
    const QStringList filesBefore = QDir(ScanAreaStoreDir()).entryList(QDir::Files);

    onEditor([this](TfrmCustomizeFormat &Form) {
        const auto expectMessages = [this](const QStringList &Texts) {
            EXPECT_EQ(recorder.Texts(), Texts);
            for (const auto &m : recorder.Messages)
                EXPECT_EQ(m.Caption, QStringLiteral("Error"));
            recorder.Messages.clear();
        };
        enter(Form, QStringLiteral("  "), QStringLiteral("1"), QString());
        expectMessages({QStringLiteral("Empty name"), QStringLiteral("Height cannot be zero or negative")});
        EXPECT_NE(Form.EditedArea, nullptr);   // still open, record still attached

        // Names the store's section headers could not hold.
        for (const char *name : {"]Card", "a]b", "two\nlines"}) {
            enter(Form, QString::fromLatin1(name), QStringLiteral("0"), QStringLiteral("1"));
            expectMessages({QStringLiteral("The name cannot contain \"]\" or a line break"),
                            QStringLiteral("Width cannot be zero or negative")});
        }

        enter(Form, QStringLiteral("ALPHA"), QStringLiteral("0"), QStringLiteral("0"));
        expectMessages({QStringLiteral("This name is already used"),
                        QStringLiteral("Width cannot be zero or negative"),
                        QStringLiteral("Height cannot be zero or negative")});
        for (const char *width : {"", ".", "2,5"}) {
            enter(Form, QStringLiteral("New"), QString::fromLatin1(width), QStringLiteral("1"));
            expectMessages({QStringLiteral("Width cannot be zero or negative")});
        }
        Form.btCancel->click();
        EXPECT_EQ(Form.EditedArea, nullptr);
    });
    areas.btAddClick();
    EXPECT_EQ(areas.Areas.Count(), 4);
    EXPECT_EQ(formatNames(), kSorted);
    EXPECT_EQ(QDir(ScanAreaStoreDir()).entryList(QDir::Files), filesBefore);

    // Under a comma locale the point makes no number: Left becomes 0 without a word.
    TLocaleGuard comma(TLocaleGuard::Comma());
    onEditor([](TfrmCustomizeFormat &Form) {
        enter(Form, QStringLiteral("Komma"), QStringLiteral("2,5"), QStringLiteral("3,5"), QStringLiteral("1.5"));
    });
    areas.btAddClick();
    EXPECT_TRUE(recorder.Messages.empty());
    EXPECT_EQ(entry(QStringLiteral("Komma"))->text(2), QStringLiteral("0,00x0,00 (2,50x3,50) [px]"));
}

TEST_F(ScanAreaDialogTest, ChangingUpdatesTheEntryInPlace)
{
    load(kStore);
    areas.btChangeClick();   // without a selection nothing opens
    EXPECT_TRUE(recorder.ModalForms.isEmpty());

    select(QStringLiteral("Standard"));
    TScanArea *standard = areas.SelectedArea();
    onEditor([](TfrmCustomizeFormat &Form) {
        EXPECT_EQ(Form.windowTitle(), QStringLiteral("Edit scan area"));
        EXPECT_FALSE(Form.edName->isEnabled());
        EXPECT_EQ(Form.cbUnits->currentData().toInt(), 0);
        EXPECT_EQ(Form.edLeft->text(), QStringLiteral("0.1"));
        EXPECT_EQ(Form.edWidth->text(), QStringLiteral("2.5"));
        Form.cbQuality->setCurrentIndex(2);
        Form.edWidth->setText(QStringLiteral("4"));
        Form.btSet->click();   // its own name is no duplicate
    });
    areas.btChange->click();
    EXPECT_TRUE(recorder.Messages.empty());
    EXPECT_EQ(entry(QStringLiteral("Standard"))->text(1), QStringLiteral("600"));
    EXPECT_EQ(entry(QStringLiteral("Standard"))->text(2), QStringLiteral("0.10x0.10 (4.00x3.50) [in]"));
    EXPECT_EQ(ReadScanAreaStore(storeFile()).at(2).Width, 4);

    // Cancelling keeps the old values; a double click opens the editor too.
    onEditor([](TfrmCustomizeFormat &Form) {
        Form.edWidth->setText(QStringLiteral("9"));
        Form.btCancel->click();
    });
    emit areas.lvAreas->itemDoubleClicked(entry(QStringLiteral("Standard")), 0);
    EXPECT_EQ(recorder.ModalForms.size(), 2);
    EXPECT_EQ(standard->Width, 4);

    // Values outside the lists show the defaults; a record of no entry is reported.
    TScanArea odd{QStringLiteral("Odd"), 1200, 3, 0, 0, 1, 1};
    editor.PrepareEdit(&odd);
    EXPECT_EQ(editor.cbQuality->currentData().toInt(), 300);
    EXPECT_EQ(editor.cbUnits->currentData().toInt(), 5);
    areas.UpdateListItem(&odd);
    EXPECT_EQ(recorder.Texts(), names({QStringLiteral("Cannot match changed data!")}));
}

TEST_F(ScanAreaDialogTest, RemovingTakesTheAreaOutOfBothLists)
{
    load(kStore);
    areas.btRemoveClick();   // no selection: nothing happens
    EXPECT_EQ(areas.Areas.Count(), 4);

    choose(QStringLiteral("beta"));
    select(QStringLiteral("beta"));
    areas.btRemove->click();
    EXPECT_EQ(formatNames(), names({QStringLiteral("Alpha"), QStringLiteral("Standard"), QStringLiteral("zeta")}));
    EXPECT_EQ(cbFormat.currentIndex(), -1);   // no neighbour is chosen in its place
    EXPECT_EQ(areas.Areas.Count(), 3);
    EXPECT_EQ(ReadScanAreaStore(storeFile()).size(), 3u);

    choose(QStringLiteral("zeta"));
    for (const char *name : {"Alpha", "Standard"}) {
        select(QString::fromLatin1(name));
        areas.btRemoveClick();
    }
    EXPECT_EQ(cbFormat.currentText(), QStringLiteral("zeta"));

    select(QStringLiteral("zeta"));
    areas.btRemoveClick();
    EXPECT_EQ(cbFormat.count(), 0);
    EXPECT_FALSE(QFile::exists(storeFile()));
    EXPECT_EQ(ReadScanAreaStore(ScanAreaStoreDir() + ScanAreaBackupName()).size(), 1u);
    areas.LoadScanAreas();
    EXPECT_EQ(areas.Areas.Count(), 0);
}

TEST_F(ScanAreaDialogTest, AFailedSaveReachesTheCallerAndTheListKeepsTheChange)
{
    areas.LoadScanAreas();
    ASSERT_TRUE(QDir(ScanAreaStoreDir()).mkdir(ScanAreaStoreName()));
    onEditor([](TfrmCustomizeFormat &Form) { enter(Form, QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1")); });
    EXPECT_THROW(areas.btAddClick(), EAppError);
    EXPECT_EQ(listNames(), names({QStringLiteral("A")}));
    EXPECT_EQ(formatNames(), names({QStringLiteral("A")}));

    // Through a real click the error is shown and goes no further into Qt.
    onEditor([](TfrmCustomizeFormat &Form) { enter(Form, QStringLiteral("B"), QStringLiteral("1"), QStringLiteral("1")); });
    QTest::mouseClick(areas.btAdd, Qt::LeftButton);
    ASSERT_EQ(recorder.Messages.size(), 1u);
    EXPECT_EQ(recorder.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_TRUE(recorder.Messages[0].Text.startsWith(QStringLiteral("The scan areas cannot be saved")));
}

TEST_F(ScanAreaDialogTest, MainWindowListForgetsTheAreasWithTheDialog)
{
    env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"), kStore);
    QComboBox mainList;
    {
        TfrmScanAreas other(nullptr, &mainList, nullptr);
        other.LoadScanAreas();
        EXPECT_EQ(mainList.count(), 4);
    }
    EXPECT_EQ(mainList.count(), 0);
}

TEST_F(ScanAreaDialogTest, EditorKeyboard)
{
    const QList<QWidget *> tabOrder = {editor.edName, editor.cbQuality, editor.cbUnits,
                                       editor.edLeft, editor.edTop, editor.edWidth,
                                       editor.edHeight, editor.btSet, editor.btCancel};
    QList<QWidget *> walked;
    for (QWidget *w = editor.edName; walked.size() < tabOrder.size(); w = w->nextInFocusChain())
        if (tabOrder.contains(w))
            walked << w;
    EXPECT_EQ(walked, tabOrder);

    editor.Tag = 1;
    editor.PrepareNew(nullptr);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    EXPECT_EQ(QApplication::focusWidget(), editor.edName);

    editor.edLeft->setFocus();
    QTest::keyClicks(editor.edLeft, QStringLiteral("1a-2 ,.5e"));
    QTest::keyClick(editor.edLeft, Qt::Key_Backspace);
    EXPECT_EQ(editor.edLeft->text(), QStringLiteral("12,."));

    for (int i = 3; i < 7; ++i) {
        QTest::keyClick(tabOrder[i], Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), tabOrder[i + 1]);
    }
    // Enter in a box, the name box included, neither presses Set nor closes the editor.
    QTest::keyClick(editor.edName, Qt::Key_Return);
    EXPECT_TRUE(recorder.Messages.empty());
    EXPECT_TRUE(editor.isVisible());

    // Pasted text is filtered like typed text.
    editor.edTop->clear();
    QApplication::clipboard()->setText(QStringLiteral("1a-2,5\n x"));
    QTest::keyClick(editor.edTop, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor.edTop->text(), QStringLiteral("12,5"));
    editor.reject();

    TScanArea area{QStringLiteral("Kept"), 300, 0, 0, 0, 1, 1};
    editor.Tag = 0;
    editor.PrepareEdit(&area);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    EXPECT_EQ(QApplication::focusWidget(), editor.cbQuality);
    editor.reject();
    EXPECT_EQ(editor.EditedArea, nullptr);
}

TEST_F(ScanAreaDialogTest, StraightenAndCropTakesACardThatFitsInTheArea)
{
    load(kStore);
    onEditor([this](TfrmCustomizeFormat &Form) {
        EXPECT_FALSE(Form.cbCropToCard->isChecked());
        EXPECT_FALSE(Form.edCardWidth->isEnabled());
        QTest::mouseClick(Form.cbCropToCard, Qt::LeftButton);
        EXPECT_TRUE(Form.edCardWidth->isEnabled() && Form.edCardHeight->isEnabled());
        Form.btSet->click();
        EXPECT_EQ(recorder.Texts(), QStringList({QStringLiteral("Card width cannot be zero or negative"),
                                                 QStringLiteral("Card height cannot be zero or negative")}));
        recorder.Messages.clear();
        // The Standard area is 2.5 by 3.5 inches: a card of its size would touch its edges.
        QTest::keyClicks(Form.edCardWidth, QStringLiteral("2.5"));
        QTest::keyClicks(Form.edCardHeight, QStringLiteral("3.5"));
        Form.btSet->click();
        EXPECT_EQ(recorder.Texts(), QStringList({QStringLiteral("The card must be smaller than the scan area")}));
        recorder.Messages.clear();
        Form.edCardWidth->setText(QStringLiteral("2.25"));
        Form.edCardHeight->setText(QStringLiteral("3.25"));
        Form.btSet->click();
    });
    select(QStringLiteral("Standard"));
    areas.btChangeClick();
    const TScanArea *standard = ScanAreaFromData(cbFormat.itemData(cbFormat.findText(QStringLiteral("Standard"))));
    ASSERT_NE(standard, nullptr);
    EXPECT_TRUE(standard->CropToCard);
    EXPECT_EQ(standard->CardWidth, 2.25);
    EXPECT_EQ(standard->CardHeight, 3.25);
    EXPECT_EQ(ReadScanAreaStore(storeFile())[2].CardWidth, 2.25);

    // Turned off, the area keeps the size for the next time.
    onEditor([](TfrmCustomizeFormat &Form) {
        EXPECT_TRUE(Form.cbCropToCard->isChecked());
        EXPECT_EQ(Form.edCardHeight->text(), QStringLiteral("3.25"));
        QTest::mouseClick(Form.cbCropToCard, Qt::LeftButton);
        EXPECT_FALSE(Form.edCardHeight->isEnabled());
        Form.btSet->click();
    });
    areas.btChangeClick();
    EXPECT_TRUE(recorder.Messages.empty());
    EXPECT_FALSE(standard->CropToCard);
    EXPECT_EQ(standard->CardHeight, 3.25);

    // Several cards per scan takes the same card size, and one cut card or
    // every card on the glass is one choice or the other.
    onEditor([](TfrmCustomizeFormat &Form) {
        QTest::mouseClick(Form.cbCropToCard, Qt::LeftButton);
        QTest::mouseClick(Form.cbSeveralCards, Qt::LeftButton);
        EXPECT_FALSE(Form.cbCropToCard->isChecked());
        EXPECT_TRUE(Form.edCardWidth->isEnabled());
        Form.btSet->click();
    });
    areas.btChangeClick();
    EXPECT_TRUE(standard->SeveralCards);
    EXPECT_FALSE(standard->CropToCard);
    EXPECT_TRUE(ReadScanAreaStore(storeFile())[2].SeveralCards);
}
