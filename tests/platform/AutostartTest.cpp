#include "platform/Autostart.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(AutostartTest, EntryRoundTripsAProgramPathWithAwkwardCharacters)
{
    TestEnvironment env;
    EXPECT_EQ(Autostart::read(), std::nullopt);
    const QString program = QStringLiteral("/opt/my \"apps\"/$HOME\\parlune");
    ASSERT_TRUE(Autostart::write(program));
    EXPECT_EQ(Autostart::entryFile(), env.configFolder() + "autostart/Parlune.desktop");
    EXPECT_EQ(Autostart::read(), program);
    EXPECT_TRUE(Autostart::remove());
    EXPECT_FALSE(QFile::exists(Autostart::entryFile()));
    EXPECT_EQ(Autostart::read(), std::nullopt);
    EXPECT_TRUE(Autostart::remove());
}

} // namespace
