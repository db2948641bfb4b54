#pragma once

#include "catalogue/Card.h"

#include <QString>

#include <memory>
#include <vector>

// One entry of a card list: the display text (the card's name) and the card.
struct TCardItem
{
    QString Text;
    std::unique_ptr<TGameCard> Card;
};

// A list of cards that owns them. Grids show item i in row i, and sorting
// reorders the items themselves.
class TCardList
{
public:
    int Count() const { return static_cast<int>(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    const QString &Strings(int Index) const { return items_[static_cast<size_t>(Index)].Text; }
    TGameCard *Objects(int Index) const { return items_[static_cast<size_t>(Index)].Card.get(); }
    bool InRange(int Index) const { return Index >= 0 && Index < Count(); }

    void Add(const QString &Text, std::unique_ptr<TGameCard> Card)
    {
        items_.push_back({Text, std::move(Card)});
    }
    // Frees every card.
    void Clear() { items_.clear(); }
    void Reserve(int Count) { items_.reserve(static_cast<size_t>(Count)); }

    std::vector<TCardItem> &Items() { return items_; }
    const std::vector<TCardItem> &Items() const { return items_; }

private:
    std::vector<TCardItem> items_;
};
