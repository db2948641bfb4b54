#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>

namespace {
const QString kFirstRunText = QStringLiteral(
    "This is first time you run Vellumora. Please check scanner settings and customize scan areas.");

void writeScanAreas(const TTestEnvironment &Env)
{
    Env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"),
                  "[Mini]\nQuality=150\nUnits=1\nLeft=0\nTop=0\nWidth=4\nHeight=6\n"
                  "[Standard]\nQuality=300\nUnits=0\nLeft=0.1\nTop=0.1\nWidth=2.5\nHeight=3.5\n");
}
} // namespace

TEST(FirstRun, FirstStartShowsTheNoticeAndTheConfigurationAndTheNextStartNeither)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    {
        TAppForms forms;
        StartUp(forms);
        EXPECT_FALSE(forms.frmConfiguration->SettingsKeyExisted);
        // The show handler runs once, after the window appeared.
        forms.frmMain->show();
        QCoreApplication::processEvents();
        forms.frmMain->hide();
        forms.frmMain->show();
        QCoreApplication::processEvents();
        ASSERT_EQ(dialogs.Messages.size(), 1u);
        EXPECT_EQ(dialogs.Messages[0].Caption, QStringLiteral("Information"));
        EXPECT_EQ(dialogs.Messages[0].Text, kFirstRunText);
        EXPECT_EQ(dialogs.ModalForms, QStringList{QStringLiteral("frmConfiguration")});
    }
    dialogs.Messages.clear();
    dialogs.ModalForms.clear();
    {
        TAppForms forms;
        StartUp(forms);
        EXPECT_TRUE(forms.frmConfiguration->SettingsKeyExisted);
        forms.frmMain->FormShow();
        EXPECT_TRUE(dialogs.Messages.empty());
        EXPECT_TRUE(dialogs.ModalForms.isEmpty());
    }
}

TEST(FirstRun, LastUsedScanAreaIsSelectedIgnoringCaseAndRememberedOnCloseButNotOnExit)
{
    TTestEnvironment env;
    TDialogRecorder dialogs;
    writeScanAreas(env);
    {
        TAppForms forms;
        StartUp(forms);
        TfrmMain &main = *forms.frmMain;
        ASSERT_EQ(main.cbFormat->count(), 2);
        forms.frmConfiguration->LastUsedScanArea = QStringLiteral("STANDARD");
        main.FormShow();
        EXPECT_EQ(main.cbFormat->currentText(), QStringLiteral("Standard"));

        forms.frmConfiguration->LastUsedScanArea = QStringLiteral("Gone");
        main.FormShow();
        EXPECT_EQ(main.cbFormat->currentIndex(), -1);

        main.cbFormat->setCurrentIndex(main.cbFormat->findText(QStringLiteral("Mini")));
        main.show();
        main.close();
    }
    {
        TAppForms forms;
        StartUp(forms);
        EXPECT_EQ(forms.frmConfiguration->LastUsedScanArea, QStringLiteral("Mini"));
        forms.frmMain->FormShow();
        EXPECT_EQ(forms.frmMain->cbFormat->currentText(), QStringLiteral("Mini"));
        // File, Exit leaves the message loop without remembering the choice.
        forms.frmMain->cbFormat->setCurrentIndex(forms.frmMain->cbFormat->findText(QStringLiteral("Standard")));
        forms.frmMain->actExitExecute();
    }
    {
        TAppForms forms;
        StartUp(forms);
        EXPECT_EQ(forms.frmConfiguration->LastUsedScanArea, QStringLiteral("Mini"));
    }
}
