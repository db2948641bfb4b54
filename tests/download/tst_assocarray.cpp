#include "download/AssocArray.h"

#include <gtest/gtest.h>

namespace {

QStringList keys(const TAssocArray &Map)
{
    QStringList result;
    TAssocItem *cursor = nullptr;
    while (Map.NextItem(cursor))
        result << cursor->Key.toString();
    return result;
}

} // namespace

TEST(AssocArray, EmptyMapHasNothingToGiveOrWalk)
{
    TAssocArray map;
    TAssocItem *cursor = nullptr;
    EXPECT_EQ(map.Count(), 0);
    EXPECT_FALSE(map.Get(QStringLiteral("EN")).isValid());
    EXPECT_FALSE(map.Get(7).isValid());
    EXPECT_FALSE(map.NextItem(cursor));
    EXPECT_EQ(cursor, nullptr);
}

TEST(AssocArray, IntegerKeyIsStoredAsTextAndFoundEitherWay)
{
    TAssocArray map;
    map.Put(5, 1);
    map.Put(-3, 1);
    EXPECT_EQ(map.Get(5), QVariant(1));
    EXPECT_EQ(map.Get(QStringLiteral("5")), QVariant(1));
    EXPECT_EQ(map.Get(QStringLiteral("-3")), QVariant(1));
    EXPECT_FALSE(map.Get(6).isValid());
    ASSERT_EQ(map.First->Key.typeId(), QMetaType::QString);
    EXPECT_EQ(keys(map), QStringList({"5", "-3"}));
}

TEST(AssocArray, TextKeysAreCaseSensitiveAndPutReplaces)
{
    TAssocArray map;
    map.Put(QStringLiteral("EN"), 1);
    map.Put(QStringLiteral("en"), 1);
    map.Put(QStringLiteral("EN"), 2);
    EXPECT_EQ(map.Count(), 2);
    EXPECT_EQ(map.Get(QStringLiteral("EN")), QVariant(2));
}

TEST(AssocArray, NullValueRemovesPresentKeyAndAddsNothing)
{
    TAssocArray map;
    map.Put(QStringLiteral("DE"), QVariant());
    EXPECT_EQ(map.Count(), 0);
    map.Put(QStringLiteral("DE"), 1);
    map.Put(QStringLiteral("EN"), 1);
    map.Put(QStringLiteral("DE"), QVariant());
    EXPECT_EQ(keys(map), QStringList({"EN"}));
    map.Add(QStringLiteral("XX"), QVariant());
    EXPECT_EQ(map.Count(), 1);
}

TEST(AssocArray, AddAppendsDuplicatesAndGetReturnsTheFirst)
{
    TAssocArray map;
    map.Add(QStringLiteral("EN"), 1);
    map.Add(QStringLiteral("EN"), 2);
    EXPECT_EQ(map.Count(), 2);
    EXPECT_EQ(map.Get(QStringLiteral("EN")), QVariant(1));
}

TEST(AssocArray, RemovingTheLastKeepsTheChainWhole)
{
    TAssocArray map;
    for (const char *key : {"DE", "EN", "CH"})
        map.Put(QString::fromLatin1(key), 1);
    EXPECT_EQ(keys(map), QStringList({"DE", "EN", "CH"}));
    map.Remove(QStringLiteral("CH"));
    map.Add(QStringLiteral("PL"), 1);
    EXPECT_EQ(keys(map), QStringList({"DE", "EN", "PL"}));
    map.Remove(QStringLiteral("DE"));
    map.Remove(QStringLiteral("EN"));
    map.Remove(QStringLiteral("PL"));
    EXPECT_EQ(map.First, nullptr);
    EXPECT_EQ(map.Last, nullptr);
    map.Add(QStringLiteral("FR"), 1);
    EXPECT_EQ(keys(map), QStringList({"FR"}));
}
