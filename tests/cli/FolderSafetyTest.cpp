#include "platform/FolderLock.h"
#include "store/Id3Tag.h"
#include "store/OleDate.h"
#include "store/Protection.h"
#include "store/RecordingEntry.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TmpfsMount.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

namespace {

const QString kKey = QStringLiteral("secret-key");

struct Outcome {
    int status = -1;
    QString err;
    QString out;
};

// Audio compared by content, reported by size: a byte dump of a recording helps nobody.
::testing::AssertionResult sameAudio(const QByteArray& found, const QByteArray& expected)
{
    if (found == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "audio of " << found.size() << " bytes where " << expected.size() << " were expected";
}

// What one recording file holds: its name, its audio in clear and what its tag says.
struct Found {
    QString name;
    QByteArray audio;
    bool isProtected = false;
    QString notes;
};

// Commands changing one folder at once, killed halfway or starved of disk: afterwards every
// recording is whole under one name, and the list agrees with the files.
class FolderSafetyTest : public ::testing::Test {
protected:
    void SetUp() override { useFolder(env.root() + QStringLiteral("calls/")); }

    void useFolder(const QString& path)
    {
        folder = path;
        QDir().mkpath(folder);
    }

    // Audio no other clip shares, about `bytes` long: a short stream repeated.
    static QByteArray clip(int which, qsizetype bytes = 600000)
    {
        const QByteArray piece = AudioFixtures::mpegStream(1.0 + 0.1 * which);
        QByteArray audio;
        while (audio.size() < bytes)
            audio += piece;
        return audio;
    }

    void make(const QString& name, const QByteArray& audio)
    {
        RecordingEntry entry = TaggedRecording::entry(folder, name, OleDate::now());
        ASSERT_TRUE(TaggedRecording::write(entry, audio));
    }

    QStringList withFolder(const QStringList& args) const
    {
        return QStringList({"--folder", folder}) + args;
    }

    std::unique_ptr<QProcess> start(const QStringList& args) const
    {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(PARLUNE_BIN_DIR "/parlunectl"), withFolder(args));
        process->waitForStarted();
        return process;
    }

    static Outcome finish(QProcess& process)
    {
        process.waitForFinished(120000);
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardError()),
                QString::fromUtf8(process.readAllStandardOutput())};
    }

    Outcome ctl(const QStringList& args) const { return finish(*start(args)); }

    // Every ".mp3" of the folder with its clear audio; a protected file must hold the key's
    // check block.
    std::vector<Found> files() const
    {
        std::vector<Found> found;
        for (const QString& file : QDir(folder).entryList({"*.mp3"}, QDir::Files, QDir::Name)) {
            const QString path = folder + file;
            Id3Tag tag;
            Found item{file.chopped(4), {}, false, {}};
            qint64 audioStart = 0;
            if (tag.Open(path, true) && tag.ReadTag() == Id3Tag::TagRead) {
                audioStart = tag.TagSize();
                const auto* protection = tag.FindFrame("TXXX");
                item.isProtected = protection && protection->value == QStringLiteral("Protetta");
                if (const auto* notes = tag.FindFrame("COMM"))
                    item.notes = notes->value;
            }
            tag.Close();
            item.audio = AudioFixtures::readFile(path).mid(audioStart);
            if (item.isProtected) {
                const QByteArray key = kKey.toUtf8();
                qsizetype check = 0;
                EXPECT_TRUE(Protection::checkBlockMatches(item.audio, key, &check))
                    << file.toStdString();
                item.audio = Protection::scramble(item.audio, key, 0).mid(check);
            }
            found.push_back(std::move(item));
        }
        return found;
    }

    // Lists the folder as a user would next (which also recovers what a kill left), checks
    // that the list says what the files say and that nothing but recordings is left, and
    // returns the files.
    std::vector<Found> settled(const std::string& when)
    {
        const Outcome list = ctl({"list", "--json"});
        EXPECT_EQ(list.status, 0) << when << ": " << list.err.toStdString();
        const std::vector<Found> found = files();
        std::map<QString, const Found*> byName;
        for (const Found& file : found)
            byName[file.name] = &file;
        const QJsonArray listed = QJsonDocument::fromJson(list.out.toUtf8()).array();
        EXPECT_EQ(size_t(listed.size()), found.size()) << when << ": " << list.out.toStdString();
        for (const auto& value : listed) {
            const QJsonObject item = value.toObject();
            const Found* file = byName[item["name"].toString()];
            if (!file) {
                ADD_FAILURE() << when << ": listed without a file: "
                              << item["name"].toString().toStdString();
                continue;
            }
            EXPECT_EQ(item["protected"].toBool(), file->isProtected)
                << when << " " << file->name.toStdString();
            EXPECT_EQ(item["notes"].toString(), file->notes)
                << when << " " << file->name.toStdString();
        }
        const QStringList expectedOthers = {".parlune.lock", "Index.txt"};
        for (const QString& other :
             QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            if (!other.endsWith(QStringLiteral(".mp3")) && !expectedOthers.contains(other))
                ADD_FAILURE() << when << ": left behind: " << other.toStdString();
        }
        return found;
    }

    // The audio of the file named `name`, or empty when there is none.
    static QByteArray audioOf(const std::vector<Found>& found, const QString& name)
    {
        for (const Found& file : found)
            if (file.name == name)
                return file.audio;
        return {};
    }

    TestEnvironment env;
    QString folder;
};

TEST_F(FolderSafetyTest, CommandsKilledAtAnyMomentLeaveEveryRecordingWholeAndListedAsItsFileSays)
{
    const QByteArray a = clip(1), b = clip(2), c = clip(3);
    make("A", a);
    make("B", b);
    const QString outside = env.root() + QStringLiteral("import me.mp3");
    ASSERT_TRUE(AudioFixtures::writeFile(outside, c));

    struct Step {
        const char* what;
        QStringList args;
    };
    // Each step undoes the one before, so that the loop can run them again and again.
    const std::vector<Step> steps = {
        {"rename", {"rename", "A", "A moved", "--notes", "moved"}},
        {"rename back", {"rename", "A moved", "A", "--notes", ""}},
        {"protect", {"protect", "B", "--key", kKey}},
        {"unprotect", {"unprotect", "B", "--key", kKey}},
        {"join", {"join", "AB", "A", "B"}},
        {"import", {"import", outside}},
        {"reindex", {"reindex"}},
    };
    // Each command runs once whole to learn how long it takes; later kills land anywhere in
    // that time.
    QRandomGenerator random(20261206);
    std::map<std::string, qint64> takes;
    for (int round = 0; round < 12; ++round) {
        for (const Step& step : steps) {
            QElapsedTimer clock;
            clock.start();
            auto process = start(step.args);
            const auto learnt = takes.find(step.what);
            QDeadlineTimer wait(learnt == takes.end() ? 60000 : random.bounded(learnt->second + 1));
            while (!wait.hasExpired() && process->state() == QProcess::Running)
                process->waitForFinished(std::max<qint64>(1, wait.remainingTime()));
            if (learnt == takes.end())
                takes[step.what] = clock.elapsed();
            process->kill();
            process->waitForFinished();
            const std::string when = std::string(step.what) + " round " + std::to_string(round);
            std::vector<Found> found = settled(when);

            // Every clip is somewhere, whole, once: alone, or inside the join's result.
            const QByteArray joined = audioOf(found, "AB");
            if (!joined.isEmpty()) {
                EXPECT_TRUE(sameAudio(joined, a + b)) << when;
            }
            for (const Found& file : found) {
                const bool known =
                    file.audio == a || file.audio == b || file.audio == c || file.audio == a + b;
                EXPECT_TRUE(known) << when << ": " << file.name.toStdString() << " holds "
                                   << file.audio.size() << " bytes of unknown audio";
            }
            const auto holds = [&](const QByteArray& audio) {
                return std::any_of(found.begin(), found.end(),
                                   [&](const Found& f) { return f.audio == audio; });
            };
            EXPECT_TRUE(joined == a + b || (holds(a) && holds(b))) << when << ": a clip is lost";

            // Back to the start for the next step: the two clips apart under their names,
            // nothing imported.
            if (std::string(step.what) == "rename back" && QFile::exists(folder + "A moved.mp3"))
                ctl({"rename", "A moved", "A", "--notes", ""});
            if (!joined.isEmpty()) {
                for (const Found& file : found)
                    QFile::remove(folder + file.name + QStringLiteral(".mp3"));
                make("A", a);
                make("B", b);
            }
            for (const Found& file : found) {
                if (file.audio == c)
                    QFile::remove(folder + file.name + QStringLiteral(".mp3"));
            }
            if (HasFailure())
                return;
        }
    }
}

TEST_F(FolderSafetyTest, CommandsRunTogetherOnOneFolderAllDoTheirWorkAndLoseNothing)
{
    const QByteArray r = clip(1, 100000), p = clip(2, 100000);
    make("R", r);
    make("P", p);
    std::vector<QByteArray> parts;
    for (int i = 0; i < 6; ++i) {
        parts.push_back(clip(3 + i, 60000));
        make(QStringLiteral("part%1").arg(i), parts.back());
    }
    std::vector<QString> imports;
    for (int i = 0; i < 4; ++i) {
        imports.push_back(env.root() + QStringLiteral("in%1.mp3").arg(i));
        ASSERT_TRUE(AudioFixtures::writeFile(imports.back(), clip(10 + i, 50000)));
    }

    // Four scripts at once, each a sequence of commands on its own recordings.
    std::vector<std::vector<QStringList>> scripts(4);
    for (int i = 0; i < 4; ++i) {
        scripts[0].push_back({"rename", "R", "R2", "--notes", QString("note %1").arg(i)});
        scripts[0].push_back({"rename", "R2", "R"});
        scripts[1].push_back({"protect", "P", "--key", kKey});
        scripts[1].push_back({"unprotect", "P", "--key", kKey});
        scripts[2].push_back({"import", imports[size_t(i)]});
    }
    for (int i = 0; i < 3; ++i)
        scripts[3].push_back({"join", QString("joined%1").arg(i), QString("part%1").arg(2 * i),
                              QString("part%1").arg(2 * i + 1)});
    std::vector<size_t> next(scripts.size(), 0);
    std::vector<std::unique_ptr<QProcess>> running(scripts.size());
    for (bool busy = true; busy;) {
        busy = false;
        for (size_t s = 0; s < scripts.size(); ++s) {
            if (running[s] && running[s]->state() != QProcess::NotRunning &&
                !running[s]->waitForFinished(5)) {
                busy = true;
                continue;
            }
            if (running[s]) {
                const Outcome done = finish(*running[s]);
                EXPECT_EQ(done.status, 0) << scripts[s][next[s] - 1].join(' ').toStdString() << ": "
                                          << done.err.toStdString();
                running[s].reset();
            }
            if (next[s] < scripts[s].size())
                running[s] = start(scripts[s][next[s]++]);
            busy = busy || running[s];
        }
    }

    const std::vector<Found> found = settled("after the scripts");
    EXPECT_TRUE(sameAudio(audioOf(found, "R"), r));
    EXPECT_TRUE(sameAudio(audioOf(found, "P"), p));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(sameAudio(audioOf(found, QString("joined%1").arg(i)),
                              parts[size_t(2 * i)] + parts[size_t(2 * i + 1)]));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(sameAudio(audioOf(found, QString("in%1").arg(i)),
                              AudioFixtures::readFile(imports[size_t(i)])));
    EXPECT_EQ(found.size(), 2u + 3u + 4u);
}

TEST_F(FolderSafetyTest, TheWindowsFolderIsRefusedAtOnceAnotherCommandIsWaitedFor)
{
    make("A", clip(1, 20000));
    ASSERT_EQ(ctl({"list"}).status, 0);
    const QByteArray index = AudioFixtures::readFile(folder + "Index.txt");
    FolderLock window;
    ASSERT_EQ(window.acquire(folder, QStringLiteral("Parlune 4242")), FolderLock::Result::Held);
    QElapsedTimer clock;
    clock.start();
    const Outcome refused = ctl({"rename", "A", "B"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("Parlune has the folder")))
        << refused.err.toStdString();
    EXPECT_LT(clock.elapsed(), 5000);
    const Outcome listed = ctl({"list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_TRUE(listed.out.startsWith(QStringLiteral("A\t")));
    EXPECT_TRUE(QFile::exists(folder + "A.mp3"));
    EXPECT_TRUE(AudioFixtures::readFile(folder + "Index.txt") == index);

    // A short command's lock is waited for.
    window.acquire(folder, QStringLiteral("parlunectl 4243 join"));
    auto rename = start({"rename", "A", "B"});
    QTimer::singleShot(1000, [&] { window.release(); });
    QDeadlineTimer deadline(30000);
    while (rename->state() != QProcess::NotRunning && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        rename->waitForFinished(20);
    }
    const Outcome waited = finish(*rename);
    EXPECT_EQ(waited.status, 0) << waited.err.toStdString();
    EXPECT_TRUE(QFile::exists(folder + "B.mp3"));
}

TEST_F(FolderSafetyTest, ACommandThatRunsOutOfDiskSaysSoAndChangesNothing)
{
    TmpfsMount disk(env.root() + QStringLiteral("small/"), 4 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << disk.whyNot().toStdString();
    useFolder(env.root() + QStringLiteral("small/"));
    const QByteArray a = clip(1), b = clip(2);
    make("A", a);
    make("B", b);
    ASSERT_EQ(ctl({"protect", "B", "--key", kKey}).status, 0);
    const QString outside = env.root() + QStringLiteral("big.mp3");
    ASSERT_TRUE(AudioFixtures::writeFile(outside, clip(3)));
    ASSERT_EQ(settled("before").size(), 2u);
    const QByteArray indexBefore = AudioFixtures::readFile(folder + "Index.txt");
    ASSERT_TRUE(disk.fill(64 << 10));

    const QStringList commands[] = {
        {"rename", "A", "A2", "--notes", "lost?"},
        {"rename", "A", "A", "--notes", "lost?"},
        {"protect", "A", "--key", kKey},
        {"unprotect", "B", "--key", kKey},
        {"join", "AB", "A", "B"},
        {"import", outside},
    };
    for (const QStringList& command : commands) {
        const Outcome run = ctl(command);
        EXPECT_EQ(run.status, 1) << command.join(' ').toStdString();
        EXPECT_FALSE(run.err.trimmed().isEmpty()) << command.join(' ').toStdString();
        const std::vector<Found> found = files();
        ASSERT_EQ(found.size(), 2u) << command.join(' ').toStdString();
        EXPECT_EQ(found[0].name, QStringLiteral("A"));
        EXPECT_TRUE(sameAudio(found[0].audio, a));
        EXPECT_FALSE(found[0].isProtected);
        EXPECT_TRUE(found[0].notes.isEmpty());
        EXPECT_TRUE(sameAudio(found[1].audio, b));
        EXPECT_TRUE(found[1].isProtected);
        EXPECT_TRUE(AudioFixtures::readFile(folder + "Index.txt") == indexBefore)
            << "the index changed: " << command.join(' ').toStdString();
    }
    disk.unfill();
    settled("after");
}

TEST_F(FolderSafetyTest, AnIndexThatIsNotARegularFileIsLeftAloneAndTheFolderStillLists)
{
    make("A", clip(1, 20000));
    const QString index = folder + QStringLiteral("Index.txt");
    const QString other = env.root() + QStringLiteral("precious.txt");
    const QByteArray precious(4000, 'p');
    const std::vector<std::pair<const char*, std::function<bool()>>> kinds = {
        {"link to /dev/zero", [&] { return QFile::link("/dev/zero", index); }},
        {"link to another file",
         [&] { return AudioFixtures::writeFile(other, precious) && QFile::link(other, index); }},
        {"FIFO", [&] { return QProcess::execute("mkfifo", {index}) == 0; }},
    };
    for (const auto& [kind, makeIndex] : kinds) {
        QFile::remove(index);
        ASSERT_TRUE(makeIndex()) << kind;
        const Outcome list = ctl({"list"});
        EXPECT_EQ(list.status, 0) << kind << ": " << list.err.toStdString();
        EXPECT_TRUE(list.out.startsWith(QStringLiteral("A\t"))) << kind;
        EXPECT_EQ(ctl({"rename", "A", "B"}).status, 0) << kind;
        EXPECT_EQ(ctl({"rename", "B", "A"}).status, 0) << kind;
        if (QFile::exists(other)) {
            EXPECT_EQ(AudioFixtures::readFile(other), precious) << kind;
        }
    }
}

} // namespace
