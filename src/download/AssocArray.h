#pragma once

#include <QString>
#include <QVariant>

// An item of a TAssocArray. Key always holds a text; Value is never null.
struct TAssocItem
{
    TAssocItem *Next = nullptr;
    QVariant Key;
    QVariant Value;
};

// A small map that keeps its entries in the order they were first entered.
// Keys and values are null (an invalid QVariant), a 32-bit integer or a text.
// Lookups walk the chain: the maps hold a few dozen distinct values at most, so
// an index would cost more than it saves.
class TAssocArray
{
public:
    TAssocArray() = default;
    ~TAssocArray();
    TAssocArray(const TAssocArray &) = delete;
    TAssocArray &operator=(const TAssocArray &) = delete;

    TAssocItem *First = nullptr;
    TAssocItem *Last = nullptr;

    void Clear();
    // A copy of the first value stored under Key; null when there is none.
    QVariant Get(const QVariant &Key) const;
    // Stores Value under Key; a null Value removes the key.
    void Put(const QVariant &Key, const QVariant &Value);
    // Appends without looking for an existing key; a null Value adds nothing.
    void Add(const QString &Key, const QVariant &Value);
    // Removes the first item whose key equals Key.
    void Remove(const QString &Key);
    int Count() const;
    // Steps an iteration cursor: start with nullptr and take the cursor's item
    // for as long as this returns true.
    bool NextItem(TAssocItem *&Cursor) const;

    // Text equals text code by code; a text equals an integer when it reads as
    // that number; null equals only null.
    static bool KeysEqual(const QVariant &A, const QVariant &B);

private:
    TAssocItem *find(const QVariant &Key) const;
};
