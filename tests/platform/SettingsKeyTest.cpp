#include "platform/SettingsKey.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SettingsKeyTest : public ::testing::Test {
protected:
    TestEnvironment env;
    QString path = env.root() + u"keys/Orvane/Parlune.conf"_s;
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
        key->writeDefault(u"0"_s);
        key->write(u"Zeta"_s, u"1"_s);
        key->write(u"Alpha"_s, u"2"_s);
        key->write(u"ZETA"_s, u"3"_s);
    }
    EXPECT_EQ(TestEnvironment::settingsFileLines(path),
              QStringList({"@default=0", "Zeta=3", "Alpha=2"}));
    auto key = SettingsKey::open(path, SettingsKey::Access::Read);
    EXPECT_EQ(key->read(u"zeta"_s), u"3"_s);
    EXPECT_EQ(key->read(u"Missing"_s), std::nullopt);
}

TEST_F(SettingsKeyTest, ReadFailsWhenTheTextAndItsTerminatorDoNotFitTheBuffer)
{
    TestEnvironment::writeSettingsFile(path, {"Six=123456", "Seven=1234567", "Wide=èèè"});
    auto key = SettingsKey::open(path, SettingsKey::Access::Read);
    EXPECT_EQ(key->read(u"Six"_s, 7), u"123456"_s);
    EXPECT_EQ(key->read(u"Seven"_s, 7), std::nullopt);
    EXPECT_EQ(key->read(u"Seven"_s, 8), u"1234567"_s);
    // Buffers count bytes: three two-byte characters need seven.
    EXPECT_EQ(key->read(u"Wide"_s, 6), std::nullopt);
    EXPECT_EQ(key->read(u"Wide"_s, 7), u"èèè"_s);
}

TEST_F(SettingsKeyTest, TextsWithLineBreaksAndBackslashesSurviveASave)
{
    const QString text = u"line one\r\nline two \\ end\\n"_s;
    {
        auto key = SettingsKey::create(path);
        key->write(u"Notes"_s, text);
        key->write(u"After"_s, u"x"_s);
    }
    auto key = SettingsKey::open(path, SettingsKey::Access::Read);
    EXPECT_EQ(key->read(u"Notes"_s), text);
    EXPECT_EQ(key->read(u"After"_s), u"x"_s);
}

TEST_F(SettingsKeyTest, InvalidNamesAndReadOnlyKeysRefuseWrites)
{
    auto key = SettingsKey::create(path);
    EXPECT_FALSE(key->write(QString(), u"x"_s));
    EXPECT_FALSE(key->write(u"a=b"_s, u"x"_s));
    EXPECT_FALSE(key->write(u"a\nb"_s, u"x"_s));
    key->close();
    auto readOnly = SettingsKey::open(path, SettingsKey::Access::Read);
    EXPECT_FALSE(readOnly->write(u"Name"_s, u"x"_s));
}

TEST_F(SettingsKeyTest, DeleteRemovesOnlyThatValue)
{
    TestEnvironment::writeSettingsFile(path, {"A=1", "B=2", "C=3"});
    {
        auto key = SettingsKey::open(path, SettingsKey::Access::ReadWrite);
        EXPECT_TRUE(key->remove(u"b"_s));
        EXPECT_FALSE(key->remove(u"Nothing"_s));
        EXPECT_EQ(key->read(u"B"_s), std::nullopt);
    }
    EXPECT_EQ(TestEnvironment::settingsFileLines(path), QStringList({"A=1", "C=3"}));
}

TEST_F(SettingsKeyTest, TwoKeysOpenAtOnceLoseNoneOfEachOthersChanges)
{
    TestEnvironment::writeSettingsFile(path, {"Shared=0"});
    auto first = SettingsKey::open(path, SettingsKey::Access::ReadWrite);
    auto second = SettingsKey::open(path, SettingsKey::Access::ReadWrite);
    first->write(u"First"_s, u"1"_s);
    second->write(u"Second"_s, u"2"_s);
    second->remove(u"Shared"_s);
    EXPECT_TRUE(first->close());
    EXPECT_TRUE(second->close());
    EXPECT_EQ(TestEnvironment::settingsFileLines(path), QStringList({"First=1", "Second=2"}));
}

TEST_F(SettingsKeyTest, SaveLeavesNoTemporaryFilesBehind)
{
    {
        auto key = SettingsKey::create(path);
        key->write(u"A"_s, u"1"_s);
    }
    const QStringList files = QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files);
    EXPECT_EQ(files, QStringList({"Parlune.conf", "Parlune.conf.lock"}));
}

} // namespace
