#pragma once

#include "catalogue/CardList.h"
#include "catalogue/CardSort.h"
#include "catalogue/Expansion.h"
#include "catalogue/Game.h"
#include "download/CatalogueClient.h"
#include "download/CatalogueText.h"
#include "download/DownloadCards.h"
#include "platform/CardGrid.h"

#include <QDialog>
#include <QImage>
#include <QList>

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTableView;
class QTreeWidget;
class TDownloadCardModel;
class TfrmLoading;

// Picks a game, a set and its cards from the catalogue server, narrows the
// cards with a filter and hands them to the main window. Created once; its
// lists, filter and sort order survive between showings.
class TfrmDownloadData : public QDialog
{
    Q_OBJECT
public:
    // Receives copies-to-be of the chosen game, set and the current cards.
    using THandOver = std::function<void(const TGame &, const TExpansion &,
                                         const std::vector<const TGameCard *> &)>;

    explicit TfrmDownloadData(QWidget *Parent = nullptr);
    ~TfrmDownloadData() override;

    // Wiring done once at start-up by the application.
    void SetHandOver(THandOver HandOver) { handOver_ = std::move(HandOver); }
    void SetLoadingNotice(TfrmLoading *Notice) { frmLoading_ = Notice; }
    // The naming option that local scans were saved under.
    void SetFileNamesSetting(std::function<int()> FileNames) { fileNames_ = std::move(FileNames); }
    // Whether the system reports a network connection; the system's answer
    // unless replaced.
    void SetNetworkCheck(std::function<bool()> Check) { networkCheck_ = std::move(Check); }
    // Time and size limits of the requests; tests shorten them.
    void SetLimits(const TCatalogueLimits &Limits) { limits_ = Limits; }

    std::unique_ptr<TGame> Game;
    std::unique_ptr<TExpansion> Expansion;
    TCardList Cards;
    TCardRefs FilteredCards;

    QList<QImage> ilIcons;
    QList<QImage> ilFlags;

    QLabel *lbGame;
    QTreeWidget *lvGames;
    QLabel *lbExpansion;
    QTreeWidget *lvSets;
    QGroupBox *gbFilter;
    QLabel *lbSubsets;
    QComboBox *cbSubsets;
    QLabel *lbRarity;
    QComboBox *cbRarity;
    QLabel *lbLanguages;
    QComboBox *cbLanguages;
    QCheckBox *cbWithoutScan;
    QPushButton *btFilter;
    QPushButton *btResetFilter;
    QLabel *lbCardList;
    QLabel *lbResults;
    QTableView *vstCards;
    TDownloadCardModel *CardsModel;
    QFrame *Bevel;
    QPushButton *btAccept;
    QPushButton *btCancel;

    void LoadGames();
    void LoadSets(int GameId);
    void LoadCards(int SetId);
    void ClearCardList();
    void EnableFilterGroup(bool On);
    void ShowResultCount();

    // Event handlers; public so tests can drive them as a user would.
    void FormShow();
    void lvGamesDblClick();
    void lvSetsDblClick();
    void btAcceptClick();
    void btFilterClick();
    void btResetFilterClick();
    void vstCardsHeaderClick(int Column);
    void vstCardsIncrementalSearch(const QString &Typed, qint64 NowMs);

    // -1 when the grid has no sort column.
    int SortColumn() const { return sortColumn_->Column(); }
    bool SortDescending() const { return sortColumn_->Descending(); }

protected:
    void showEvent(QShowEvent *Event) override;
    void resizeEvent(QResizeEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    void createControls();
    void openGame();
    void openSet();
    void placeControls();
    // Runs Operation unless another is under way. Meanwhile the dialog and its
    // notice take no user input, so a second double-click or Enter cannot
    // start a load inside the running one.
    void exclusive(const std::function<void()> &Operation);
    // Runs Body with the connecting notice up; the notice comes down when
    // Body returns, after any message it showed.
    void withNotice(const std::function<void()> &Body);
    TCatalogueAnswer request(const QByteArray &Target);
    void fillEntries(QTreeWidget *List, const TCatalogueEntries &Entries);
    void fillFilterList(QComboBox *List, QLabel *Label, const QStringList &Texts,
                        const QList<int> &Codes);
    TCardFilter filterChoice() const;
    bool systemReportsNetwork() const;

    THandOver handOver_;
    TfrmLoading *frmLoading_ = nullptr;
    std::function<int()> fileNames_;
    std::function<bool()> networkCheck_;
    TCatalogueLimits limits_;
    std::unique_ptr<TSortColumn> sortColumn_;
    TIncrementalSearch search_;
    bool busy_ = false;
    // The list that saw Enter go down: only there does its release act, not
    // where a closed message box leaves it.
    QObject *enterPressedOn_ = nullptr;
};
