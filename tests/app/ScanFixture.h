#pragma once

// A started application with three scan areas (Mini 150 dpi, Std 300, Big 600),
// four downloaded cards and the real data source manager, scanning as an
// operator does.
#include "../cards/CardCorpus.h"
#include "../scanner/DsmFixture.h"
#include "XyList.h"
#include "app/CardListModel.h"
#include "app/Main.h"
#include "catalogue/ScanStore.h"
#include "scanareas/ScanAreas.h"
#include "scanner/FormSelectSource.h"
#include "settings/T_Log.h"
#include "support/AppFixture.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QImageReader>
#include <QListWidget>
#include <QTableView>


inline const char *const kAreas =
    "[Mini]\nQuality=150\nUnits=0\nLeft=0\nTop=0\nWidth=2.5\nHeight=3.5\n"
    "[Std]\nQuality=300\nUnits=0\nLeft=0.1\nTop=0.1\nWidth=2.5\nHeight=3.5\n"
    "[Big]\nQuality=600\nUnits=0\nLeft=0\nTop=0\nWidth=2.5\nHeight=3.5\n";

struct TScanFixture
{
    TAppFixture App;
    TDsmFixture Dsm;
    TfrmMain &Main = App.Main();

    TScanFixture()
    {
        App.Env.WriteFile(QStringLiteral("home/.local/share/Quorvath/Vellu Mora/scan areas.ini"), kAreas);
        App.Forms.frmScanAreas->LoadScanAreas();
        Main.Twain->DsmSearchFolders = {TDsmFixture::LibraryDir()};
        GiveCards(4);
    }

    ~TScanFixture() { qunsetenv("VELLUMORA_VFB_GLASS"); }

    // The Virtual Flatbed scans Layout's glass, rendered at 300 dpi, from now on.
    void PutOnGlass(const TGlassLayout &Layout)
    {
        QImage picture = RenderGlass(Layout).Image;
        picture.setDotsPerMeterX(11811);
        picture.setDotsPerMeterY(11811);
        const QString file = App.Env.Path(QStringLiteral("glass.png"));
        ASSERT_TRUE(picture.save(file));
        qputenv("VELLUMORA_VFB_GLASS", QFile::encodeName(file));
    }

    void GiveCards(int Count, int FirstId = 1)
    {
        std::vector<std::unique_ptr<TGameCard>> cards;
        for (int i = 0; i < Count; ++i) {
            cards.push_back(std::make_unique<TGameCard>());
            cards.back()->Id = FirstId + i;
            cards.back()->Number = i;
            cards.back()->Name = QStringLiteral("Card %1").arg(FirstId + i);
        }
        GiveXyList(Main, cards);
    }

    // The source dialog, when it comes, picks the first source.
    void PickFirstSource()
    {
        App.Dialogs.QueueModal([](QDialog &Dialog) {
            auto &form = static_cast<TFormSelectSource &>(Dialog);
            EXPECT_EQ(form.lbSources->item(0)->text(), QStringLiteral("Virtual Flatbed"));
            return int(QDialog::Accepted);
        });
    }

    void Select(int Row, const QString &Area)
    {
        Main.vstCards->selectionModel()->setCurrentIndex(
            Main.CardsModel->index(Row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        Main.cbFormat->setCurrentIndex(Main.cbFormat->findText(Area));
    }

    // Acquire, then let the pump offer the poll message, as its timer would.
    void Scan(int Row, const QString &Area)
    {
        Select(Row, Area);
        Main.mnAcquireImageClick();
        Main.Twain->Poll();
    }

    // The run log since the last call, without time stamps.
    QStringList LogLines()
    {
        AppLog->Flush();
        QFile file(AppLog->FileName);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            lines << line.mid(18);
        const QStringList fresh = lines.mid(logRead_);
        logRead_ = lines.size();
        return fresh;
    }

    QString Pics(const QString &Relative) const { return App.Env.ExeDir() + QStringLiteral("pics/") + Relative; }

private:
    qsizetype logRead_ = 0;
};

inline QSize jpegSize(const QString &Path)
{
    QImageReader reader(Path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg")) << Path.toStdString();
    return reader.size();
}

