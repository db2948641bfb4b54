#pragma once

#include "cards/ScanQuestion.h"
#include "scanning/CardPass.h"

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

// What the scanning workflow needs from the window that drives it: questions,
// the operator's review of a pass, and the few places of the window a saved
// card shows in. Tests answer it without a window.
class TScanHost
{
public:
    virtual ~TScanHost() = default;

    // A question with Yes and No; true for Yes.
    virtual bool AskYesNo(const QString &Text) = 0;
    virtual void ShowError(const QString &Text) = 0;
    // The operator looks at the cards found on Glass and may leave some out
    // (TPassCard::Keep). False cancels the pass: nothing is saved.
    virtual bool ReviewCards(const QImage &Glass, std::vector<TPassCard> &Cards) = 0;

    // The picture being saved, for the image view.
    virtual void ShowPicture(const QImage &Picture) = 0;
    // The saved file's name and its facts ("750x1050, 230kB") under the picture.
    virtual void ShowFileFacts(const QString &FileName, const QString &Facts) = 0;
    // A card's scan status changed.
    virtual void RepaintCards() = 0;
    // The selected row of the card list, -1 for none.
    virtual int SelectedRow() const = 0;
    // Selects Row and brings it into view; the saved picture stays shown.
    virtual void SelectRow(int Row) = 0;
};

// A card about to be saved, for a check that may stop it.
struct TCardToSave
{
    // The check's small copy (GuardPicture) of what would be saved: made once,
    // it is also what the next scan is checked against.
    const QImage &Picture;
    const QString &CardName;
    // What the scan before saved in this run (every card of a pass), as small
    // copies; empty before the run's first card.
    const std::vector<TSavedScan> &Previous;
};

// Runs before each card is saved, one card or each card of a pass, and may
// ask the operator through Host. False saves nothing for the card: it stays
// unscanned.
using TSaveCheck = std::function<bool(const TCardToSave &Card, TScanHost &Host)>;

// Runs for each card of a pass before the operator reviews it, instead of the
// save check: the doubt is shown in the review, where one look settles every
// card, rather than asked card by card. Empty when nothing is wrong.
using TPassCheck = std::function<QString(const TCardToSave &Card)>;
