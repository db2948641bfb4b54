#include "download/AssocArray.h"

namespace {

bool isNull(const QVariant &V)
{
    return !V.isValid() || V.isNull();
}

bool isInteger(const QVariant &V)
{
    return V.typeId() == QMetaType::Int;
}

// Text of a key as it is stored: integers in decimal, texts unchanged.
QString keyText(const QVariant &Key)
{
    return isInteger(Key) ? QString::number(Key.toInt()) : Key.toString();
}

} // namespace

TAssocArray::~TAssocArray()
{
    Clear();
}

bool TAssocArray::KeysEqual(const QVariant &A, const QVariant &B)
{
    if (isNull(A) || isNull(B))
        return isNull(A) && isNull(B);
    if (isInteger(A) && isInteger(B))
        return A.toInt() == B.toInt();
    if (isInteger(A) || isInteger(B)) {
        // A text that does not read as a number equals no integer.
        const QVariant &text = isInteger(A) ? B : A;
        const QVariant &number = isInteger(A) ? A : B;
        bool ok = false;
        const int value = text.toString().toInt(&ok);
        return ok && value == number.toInt();
    }
    return A.toString() == B.toString();
}

void TAssocArray::Clear()
{
    TAssocItem *item = First;
    while (item) {
        TAssocItem *next = item->Next;
        delete item;
        item = next;
    }
    First = nullptr;
    Last = nullptr;
}

TAssocItem *TAssocArray::find(const QVariant &Key) const
{
    for (TAssocItem *item = First; item; item = item->Next)
        if (KeysEqual(item->Key, Key))
            return item;
    return nullptr;
}

QVariant TAssocArray::Get(const QVariant &Key) const
{
    const TAssocItem *item = find(Key);
    return item ? item->Value : QVariant();
}

void TAssocArray::Put(const QVariant &Key, const QVariant &Value)
{
    TAssocItem *item = find(Key);
    if (!item)
        Add(keyText(Key), Value);
    else if (isNull(Value))
        Remove(keyText(Key));
    else
        item->Value = Value;
}

void TAssocArray::Add(const QString &Key, const QVariant &Value)
{
    if (isNull(Value))
        return;
    auto *item = new TAssocItem{nullptr, QVariant(Key), Value};
    if (!First) {
        First = item;
        Last = item;
    } else {
        Last->Next = item;
        Last = item;
    }
}

void TAssocArray::Remove(const QString &Key)
{
    const QVariant key(Key);
    TAssocItem *previous = nullptr;
    TAssocItem *item = First;
    while (item && !KeysEqual(item->Key, key)) {
        previous = item;
        item = item->Next;
    }
    if (!item)
        return;
    (previous ? previous->Next : First) = item->Next;
    if (item == Last)
        Last = previous;
    delete item;
}

int TAssocArray::Count() const
{
    int count = 0;
    for (const TAssocItem *item = First; item; item = item->Next)
        ++count;
    return count;
}

bool TAssocArray::NextItem(TAssocItem *&Cursor) const
{
    if (!First)
        return false;
    if (!Cursor) {
        Cursor = First;
        return true;
    }
    if (!Cursor->Next)
        return false;
    Cursor = Cursor->Next;
    return true;
}
