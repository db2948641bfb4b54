#pragma once

#include "catalogue/CardList.h"
#include "catalogue/ScanStore.h"
#include "scanareas/ScanArea.h"
#include "scanning/ScanHost.h"

#include <QHash>
#include <QImage>
#include <QString>

#include <optional>
#include <vector>

// A scan from its start to its saved files: which cards of the list it is
// for, which image each of them gets, the questions before a file is
// replaced, writing the full-size and web files, marking the cards and moving
// the selection on. The window starts a scan with Start when the operator asks
// for it, and hands the scanner's image to Save; every question and every
// change of the window goes through the host.
class TScanWorkflow
{
public:
    TScanWorkflow(TCardList &Cards, TScanHost &Host);

    // The folders of a list just loaded: what they hold now is what "written
    // by another station since" is measured against.
    void StoreLoaded(const TStorePaths &Folders);

    // What the scan starting now is for: the card in Row, and for an area of
    // several cards the ones after it, as many as its frame can hold. All is
    // copied, because the list, the area and the settings may change while
    // the scanner works.
    void Start(int Row, const TScanArea &Area, const TStorePaths &Folders, int Naming,
               const QString &WatermarkText);
    void End() { job_.reset(); }
    // The list's cards are about to be freed: the scan under way still saves
    // its files, but marks no card.
    void ForgetListCards();

    // Saves the scanner's Picture for the scan started: for one card the whole
    // frame or the card cut from it; for several, every card found on it that
    // the operator keeps. Failures are told through the host; the scan stays
    // started until End.
    void Save(const QImage &Picture);

    void SetSaveCheck(TSaveCheck Check) { saveCheck_ = std::move(Check); }
    void SetPassCheck(TPassCheck Check) { passCheck_ = std::move(Check); }
    // What the last scan that saved anything saved, for the check.
    const std::vector<TSavedScan> &PreviousScan() const { return previousScan_; }
    // Whether this station wrote FileName since the program started.
    bool WroteInThisRun(const QString &FileName) const { return ownWrites_.contains(FileName); }

private:
    // A card of the list the scan may be saved for, as it was when it started.
    struct TServedCard
    {
        const TGameCard *ListCard = nullptr;   // compared, never followed once the list is gone
        TGameCard Copy;
        AnsiString FileName;
        bool SharesFileName = false;
    };
    struct TJob
    {
        std::vector<TServedCard> Cards;   // the selected card first
        TScanArea Area;
        TStorePaths Folders;
        int Naming = 0;
        QString WatermarkText;
    };

    void saveOneCard(const QImage &Picture);
    void saveSeveralCards(const QImage &Glass);
    // The picture an area that crops keeps; nothing when the operator declines.
    std::optional<QImage> pictureToKeep(const QImage &Scan);
    // False when the card was not saved (the check or the operator said no);
    // throws when writing fails on the way.
    // Small is Picture's copy for the checks, null while no check is set.
    bool saveCard(const TServedCard &Card, const QImage &Picture, const QImage &Small, bool Check);
    QImage smallCopy(const QImage &Picture) const;
    bool mayReplaceFiles(const TServedCard &Card, const QString &Hq, const QString &Web);
    void markCard(const TServedCard &Card, TScanStatus Status);
    void showFileFacts(const QString &Hq, QSize Size);
    void moveSelectionAfter(const TServedCard &LastSaved);
    void reportSaveError(const std::exception &Error);
    int rowOf(const TGameCard *Card) const;
    bool writtenByAnotherStation(const QString &FileName) const;
    void noteOwnWrite(const QString &FileName);

    TCardList &cards_;
    TScanHost &host_;
    std::optional<TJob> job_;
    TSaveCheck saveCheck_;
    TPassCheck passCheck_;
    std::vector<TSavedScan> previousScan_;
    std::vector<TSavedScan> thisScan_;
    // What the store held when the list was loaded (file -> modification time),
    // and the files this station wrote since: a file that is neither was
    // written by another station sharing the store.
    QHash<QString, qint64> storeAtLoad_;
    QHash<QString, qint64> ownWrites_;
};

// The run log's line for the card a scan is saved for.
QString CardInfoLine(const TGameCard &Card);
