#include "res/StringTable.h"

#include <gtest/gtest.h>

namespace {

// Escapes are resolved, an unknown number gives no text, and a value's own marks stay unfilled.
TEST(StringTableTest, ResolvesEscapesAndFillsEachMarkOnce)
{
    EXPECT_TRUE(StringTable::text(27).contains(u'\n'));
    EXPECT_TRUE(StringTable::text(27).contains(QStringLiteral("\\ / :")));
    EXPECT_FALSE(StringTable::contains(999999));
    EXPECT_TRUE(StringTable::text(999999).isEmpty());
    const QString filled = StringTable::text(600, {QStringLiteral("a%sb")});
    EXPECT_EQ(filled, StringTable::text(600).replace(QStringLiteral("%s"), QStringLiteral("a%sb")));
    EXPECT_EQ(StringTable::text(600, {}), StringTable::text(600));
}

} // namespace
