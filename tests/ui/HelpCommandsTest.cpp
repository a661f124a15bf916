#include "ui/HelpCommands.h"

#include "platform/DesktopOpener.h"
#include "res/StringTable.h"
#include "tests/support/AnswerDialog.h"
#include "tests/support/RecordedMessages.h"
#include "tests/support/TestEnvironment.h"
#include "ui/AboutDialog.h"
#include "ui/CRecorderApp.h"
#include "ui/CRecorderDlg.h"
#include "ui/SkinStatic.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

/// Stands in for the desktop's browser, which cannot run here.
class RecordingOpener : public DesktopOpener {
public:
    bool open(const QUrl& url) override
    {
        opened << url;
        return true;
    }
    QList<QUrl> opened;
};

class HelpCommandsTest : public ::testing::Test {
protected:
    bool writeFile(const QString& path, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    TestEnvironment env;
    QWidget window;
    RecordedMessages messages;
    RecordingOpener opener;
    HelpCommands commands{env.programFolder(), env.dataFolder() + u"sub/"_s, messages, opener,
                          &window};
};

TEST_F(HelpCommandsTest, HelpOpensTheGuideOnlyWhenItIsThereElseShowsMessage353)
{
    commands.help();
    EXPECT_EQ(messages.texts, QStringList{StringTable::text(353)});
    EXPECT_EQ(messages.captions, QStringList{StringTable::caption()});
    EXPECT_EQ(messages.icons, QList{MessagePresenter::Icon::Error});
    EXPECT_TRUE(opener.opened.isEmpty());

    messages.clear();
    ASSERT_TRUE(writeFile(env.programFolder() + u"html/Start.htm"_s, "<html></html>"));
    commands.help();
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_EQ(opener.opened, QList{QUrl::fromLocalFile(env.programFolder() + u"html/Start.htm"_s)});
}

TEST_F(HelpCommandsTest, UpdateStartsAnExecutableRenewixAndIsSilentWithoutOne)
{
    commands.update();
    EXPECT_TRUE(messages.texts.isEmpty());

    const QString marker = env.root() + u"updated"_s;
    const QString program = env.programFolder() + QLatin1String(HelpCommands::kUpdateProgram);
    ASSERT_TRUE(writeFile(program, "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n"));
    QFile(program).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    commands.update();
    EXPECT_TRUE(waitFor([&] { return QFile::exists(marker); }));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(HelpCommandsTest, OnlinePageMakesTheMarkerPageKeepingOneThatExistsAndOpensTheAddress)
{
    const QString page = env.dataFolder() + u"sub/Orvane.htm"_s;
    commands.onlinePage();
    EXPECT_TRUE(QFileInfo(page).isFile());
    EXPECT_EQ(QFileInfo(page).size(), 0);
    ASSERT_TRUE(writeFile(page, "kept"));
    commands.onlinePage();
    EXPECT_EQ(QFileInfo(page).size(), 4);
    const QUrl address(StringTable::text(420));
    EXPECT_EQ(opener.opened, (QList{address, address}));
}

TEST_F(HelpCommandsTest, AboutVersionReadsWithoutColon)
{
    EXPECT_EQ(AboutDialog::versionText(2, 0, 1, 5), u"Version 2.0.1.5"_s);
}

TEST_F(HelpCommandsTest, AboutBoxShowsItsVersionAndClosesByButtonOrEscape)
{
    window.show();
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape);
        QString title;
        QString version;
        answerWhenShown<AboutDialog>([&](AboutDialog& dialog) {
            title = dialog.windowTitle();
            version = dialog.findChild<SkinStatic*>(u"1192"_s)->text();
            auto* close = dialog.findChild<QPushButton*>(u"1"_s);
            if (byEscape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(close, Qt::LeftButton);
        });
        commands.about(); // returns only once the box is closed
        EXPECT_EQ(title, StringTable::text(367));
        EXPECT_EQ(version, AboutDialog::versionText(PARLUNE_VERSION_MAJOR, PARLUNE_VERSION_MINOR,
                                                    PARLUNE_VERSION_PATCH, 0));
    }
}

TEST(HelpInTheWindow, TheHelpButtonRunsTheHelpCommand)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "needs the private audio server that ./test starts";
    TestEnvironment env; // its program folder has no guide
    RecordedMessages messages;
    CRecorderApp app(messages, env.lockFile());
    bool exposed = false;
    QObject::connect(&app, &CRecorderApp::windowStarted, [&](CRecorderDlg* window) {
        exposed = window->helpCommands() != nullptr;
        QTest::mouseClick(window->findChild<QAbstractButton*>(u"Help"_s), Qt::LeftButton);
        window->OnClose();
    });
    app.InitInstance();
    EXPECT_TRUE(exposed);
    EXPECT_TRUE(messages.texts.contains(StringTable::text(353)));
}

TEST(InstalledGuide, EveryAnchorAndImageOfTheGuideResolves)
{
    const QString folder = QCoreApplication::applicationDirPath() + u"/html/"_s;
    QFile file(folder + u"Start.htm"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    const QString html = QString::fromUtf8(file.readAll());
    QStringList ids;
    for (const auto& match : QRegularExpression(uR"re(\bid="([^"]+)")re"_s).globalMatch(html))
        ids << match.captured(1);
    int links = 0;
    for (const auto& match :
         QRegularExpression(uR"re(\b(?:href|src)="([^"]+)")re"_s).globalMatch(html)) {
        const QString target = match.captured(1);
        ++links;
        if (target.startsWith(u'#')) {
            EXPECT_TRUE(ids.contains(target.mid(1))) << target.toStdString();
        } else if (!target.contains(u':')) {
            EXPECT_TRUE(QFileInfo(folder + target).isFile()) << target.toStdString();
        }
    }
    EXPECT_GT(links, 20);
}

} // namespace
