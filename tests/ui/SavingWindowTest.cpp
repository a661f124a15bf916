#include "ui/SavingWindow.h"
#include "store/OleDate.h"
#include "store/RecordingEntry.h"
#include "store/RecordingList.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TaggedRecording.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QProgressBar>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The window shows for a save of more than two tags only, counts each and goes at the end.
TEST(SavingWindowTest, ShowsTheProgressOfASaveOfManyTagsThenGoes)
{
    TestEnvironment env;
    const QString folder = env.root() + u"calls/"_s;
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray audio = AudioFixtures::mpegStream(1.0);
    for (const QString& name : {u"A"_s, u"B"_s, u"C"_s}) {
        RecordingEntry entry = TaggedRecording::entry(folder, name, OleDate::now());
        ASSERT_TRUE(TaggedRecording::write(entry, audio));
    }
    RecordingList list;
    list.setFolder(folder);
    ASSERT_TRUE(list.LoadList());
    QWidget window;
    window.resize(400, 300);
    window.show();

    for (int modified : {2, 3}) {
        SCOPED_TRACE(modified);
        for (int i = 0; i < modified; ++i) {
            list.at(i)->notes = u"changed %1"_s.arg(modified);
            list.at(i)->state = RecordingEntry::Modified;
        }
        SavingWindow saving(&window);
        QList<int> values;
        QObject::connect(saving.bar(), &QProgressBar::valueChanged, &saving,
                         [&](int value) { values << value; });
        ASSERT_TRUE(list.SaveModified(saving.progress()));
        EXPECT_EQ(saving.wasShown(), modified > 2);
        EXPECT_FALSE(saving.isVisible());
        if (modified > 2) {
            EXPECT_EQ(saving.bar()->maximum(), modified);
            EXPECT_EQ(values.last(), modified);
        }
    }
}

} // namespace
