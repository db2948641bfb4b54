#pragma once

// One pass over a glass with several cards: which found region is saved as
// which card of the list.

#include "cards/CardFinder.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

struct TScanArea;

// A region found on the glass, as the operator reviews it.
struct TPassCard
{
    std::array<QPointF, 4> Corners;   // in the scanned picture's pixels
    int Number = 0;                   // from 1, in reading order
    TUnsureReason Unsure = TUnsureReason::None;
    // The list card it is saved as: an index into the cards the pass may serve,
    // -1 when the list has no card left for it.
    int ListIndex = -1;
    QString CardName;                 // for an unsure region of several cards, all their names
    int ListCount = 0;                // the list cards it stands for, 0 beyond the list
    bool Keep = true;                 // the operator may leave a card out
    // Why the scan check doubts the card (it looks like a card the scan before
    // saved): such a card starts left out, and the operator may take it back.
    QString Doubt;

    bool Extra() const { return ListIndex < 0; }
    bool Savable() const { return Unsure == TUnsureReason::None && !Extra(); }
    bool WillBeSaved() const { return Savable() && Keep; }
};

// The regions in reading order, each taking the next card of CardNames (the
// selected card first, then the ones after it in the list). An unsure region
// takes its place too: the cards lying there are not saved, and the cards after
// it keep the names of the cards they are. Cards laid touching come out as one
// unsure region, so a region takes as many names as cards of CardAreaPixels
// would fill it; otherwise every card after it would be saved under its
// neighbour's name.
std::vector<TPassCard> AssignFoundCards(const std::vector<TFoundCard> &Found, const QStringList &CardNames,
                                        double CardAreaPixels);

// How many cards of the area's card size the frame could hold at most, at
// least 1: the list cards a pass may serve are taken when the scan starts.
int CardsPerFrame(const TScanArea &Area);

// The card size of an area that finds cards, in millimetres.
TCardSize AreaCardSize(const TScanArea &Area);

// Why a region cannot be cut for sure, in the operator's words (translated);
// the run log takes UnsureReasonText.
QString DoubtText(TUnsureReason Reason);
