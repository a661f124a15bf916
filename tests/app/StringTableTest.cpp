#include "res/StringTable.h"

#include <gtest/gtest.h>

namespace {

TEST(StringTableTest, LooksUpTextsByNumberWithTheirEscapesResolved)
{
    EXPECT_EQ(StringTable::caption(), QStringLiteral("Parlune"));
    EXPECT_EQ(StringTable::text(354), QStringLiteral("Lumacor Parlune"));
    EXPECT_EQ(StringTable::text(23), QStringLiteral("libencodermp3.so"));
    EXPECT_TRUE(StringTable::text(27).contains(u'\n'));
    EXPECT_TRUE(StringTable::text(27).contains(QStringLiteral("\\ / :")));
    EXPECT_FALSE(StringTable::contains(999999));
    EXPECT_TRUE(StringTable::text(999999).isEmpty());
}

TEST(StringTableTest, HoldsTheMessagesOfTheStartUp)
{
    for (int id : {22, 24, 25, 30, 75, 129, 233, 431, 432})
        EXPECT_FALSE(StringTable::text(id).isEmpty()) << id;
}

TEST(StringTableTest, FillsEachMarkWithTheNextValueAndLeavesAValuesOwnMarks)
{
    // String 600 has one mark: a value that holds one is not filled again.
    const QString filled = StringTable::text(600, {QStringLiteral("a%sb")});
    EXPECT_EQ(filled, StringTable::text(600).replace(QStringLiteral("%s"), QStringLiteral("a%sb")));
    // Without values every mark stays.
    EXPECT_EQ(StringTable::text(600, {}), StringTable::text(600));
}

} // namespace
