#include "platform/SettingsKey.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class SettingsKeyTest : public ::testing::Test {
protected:
    TestEnvironment env;
    QString path = env.root() + QStringLiteral("keys/Orvane/Parlune.conf");
};

TEST_F(SettingsKeyTest, MissingKeyDoesNotOpenAndCreateMakesItsFolders)
{
    EXPECT_EQ(SettingsKey::open(path, SettingsKey::Access::Read), nullptr);
    EXPECT_EQ(SettingsKey::open(path, SettingsKey::Access::ReadWrite), nullptr);
    auto key = SettingsKey::create(path);
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_NE(SettingsKey::open(path, SettingsKey::Access::Read), nullptr);
}

TEST_F(SettingsKeyTest, ValuesKeepTheirOrderOfCreationAndNamesIgnoreCase)
{
    {
        auto key = SettingsKey::create(path);
        key->writeDefault(QStringLiteral("0"));
        key->write(QStringLiteral("Zeta"), QStringLiteral("1"));
        key->write(QStringLiteral("Alpha"), QStringLiteral("2"));
        key->write(QStringLiteral("ZETA"), QStringLiteral("3"));
    }
    EXPECT_EQ(TestEnvironment::settingsFileLines(path),
              QStringList({"@default=0", "Zeta=3", "Alpha=2"}));
    auto key = SettingsKey::open(path, SettingsKey::Access::Read);
    EXPECT_EQ(key->read(QStringLiteral("zeta")), QStringLiteral("3"));
    EXPECT_EQ(key->read(QStringLiteral("Missing")), std::nullopt);
}

TEST_F(SettingsKeyTest, ReadFailsWhenTheTextAndItsTerminatorDoNotFitTheBuffer)
{
    TestEnvironment::writeSettingsFile(path, {"Six=123456", "Seven=1234567", "Wide=èèè"});
    auto key = SettingsKey::open(path, SettingsKey::Access::Read);
    EXPECT_EQ(key->read(QStringLiteral("Six"), 7), QStringLiteral("123456"));
    EXPECT_EQ(key->read(QStringLiteral("Seven"), 7), std::nullopt);
    EXPECT_EQ(key->read(QStringLiteral("Seven"), 8), QStringLiteral("1234567"));
    // Buffers count bytes: three two-byte characters need seven.
    EXPECT_EQ(key->read(QStringLiteral("Wide"), 6), std::nullopt);
    EXPECT_EQ(key->read(QStringLiteral("Wide"), 7), QStringLiteral("èèè"));
}

TEST_F(SettingsKeyTest, TextsWithLineBreaksAndBackslashesSurviveASave)
{
    const QString text = QStringLiteral("line one\r\nline two \\ end\\n");
    {
        auto key = SettingsKey::create(path);
        key->write(QStringLiteral("Notes"), text);
        key->write(QStringLiteral("After"), QStringLiteral("x"));
    }
    auto key = SettingsKey::open(path, SettingsKey::Access::Read);
    EXPECT_EQ(key->read(QStringLiteral("Notes")), text);
    EXPECT_EQ(key->read(QStringLiteral("After")), QStringLiteral("x"));
}

TEST_F(SettingsKeyTest, InvalidNamesAndReadOnlyKeysRefuseWrites)
{
    auto key = SettingsKey::create(path);
    EXPECT_FALSE(key->write(QString(), QStringLiteral("x")));
    EXPECT_FALSE(key->write(QStringLiteral("a=b"), QStringLiteral("x")));
    EXPECT_FALSE(key->write(QStringLiteral("a\nb"), QStringLiteral("x")));
    key->close();
    auto readOnly = SettingsKey::open(path, SettingsKey::Access::Read);
    EXPECT_FALSE(readOnly->write(QStringLiteral("Name"), QStringLiteral("x")));
}

TEST_F(SettingsKeyTest, DeleteRemovesOnlyThatValue)
{
    TestEnvironment::writeSettingsFile(path, {"A=1", "B=2", "C=3"});
    {
        auto key = SettingsKey::open(path, SettingsKey::Access::ReadWrite);
        EXPECT_TRUE(key->remove(QStringLiteral("b")));
        EXPECT_FALSE(key->remove(QStringLiteral("Nothing")));
        EXPECT_EQ(key->read(QStringLiteral("B")), std::nullopt);
    }
    EXPECT_EQ(TestEnvironment::settingsFileLines(path), QStringList({"A=1", "C=3"}));
}

TEST_F(SettingsKeyTest, TwoKeysOpenAtOnceLoseNoneOfEachOthersChanges)
{
    TestEnvironment::writeSettingsFile(path, {"Shared=0"});
    auto first = SettingsKey::open(path, SettingsKey::Access::ReadWrite);
    auto second = SettingsKey::open(path, SettingsKey::Access::ReadWrite);
    first->write(QStringLiteral("First"), QStringLiteral("1"));
    second->write(QStringLiteral("Second"), QStringLiteral("2"));
    second->remove(QStringLiteral("Shared"));
    EXPECT_TRUE(first->close());
    EXPECT_TRUE(second->close());
    EXPECT_EQ(TestEnvironment::settingsFileLines(path), QStringList({"First=1", "Second=2"}));
}

TEST_F(SettingsKeyTest, SaveLeavesNoTemporaryFilesBehind)
{
    {
        auto key = SettingsKey::create(path);
        key->write(QStringLiteral("A"), QStringLiteral("1"));
    }
    const QStringList files = QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files);
    EXPECT_EQ(files, QStringList({"Parlune.conf", "Parlune.conf.lock"}));
}

} // namespace
