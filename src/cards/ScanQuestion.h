#pragma once

// What to ask the operator before a scan is saved, from the scan guard's two
// looks: the scan shows a card the scan before saved again, or no card.
// The caller writes LogLine to the run log and, when there is a Text, asks it
// with No as the default and writes AnswerLogLine. A scan saved (unasked or
// on Yes) leaves Picture as the next scan's previous picture; on No nothing is
// kept and the card stays unscanned and selected.

#include <QImage>
#include <QString>

#include <vector>

enum class TScanDoubt { None, SameCard, EmptyArea };

// A card the scan before saved: its picture (or the GuardPicture of it, which
// answers alike) and the list card it was saved as.
struct TSavedScan
{
    QImage Picture;
    QString Card;
};

// The run log's line for the operator's answer to a doubt about Card's scan.
QString ScanCheckAnswerLogLine(const QString &Card, bool Save);

struct TScanQuestion
{
    TScanDoubt Doubt = TScanDoubt::None;
    // The question, in the user's language; empty when there is nothing to ask.
    QString Text;
    // What the check found, for the run log; empty when the check is off.
    QString LogLine;
    // The scan's small copy, which the check compares the next scan with once
    // this one is saved; null when the check is off.
    QImage Picture;
    QString Card;
    // The card of the scan before it looks like, for SameCard.
    QString PreviousCard;

    // The run log's line for the operator's answer to Text.
    QString AnswerLogLine(bool Save) const { return ScanCheckAnswerLogLine(Card, Save); }
};

// Previous holds what the scan before saved in this run: one card, or every
// card of a pass, since a glass of several cards left unswapped comes back
// in the same places. Scan is about to be saved for Card. Check is the "Check
// each scan before saving" setting: off, nothing is looked at or asked.
TScanQuestion ScanQuestion(const std::vector<TSavedScan> &Previous, const QImage &Scan, const QString &Card,
                           bool Check);
