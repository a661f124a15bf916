#include "platform/MountTable.h"
#include "tests/support/AudioFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(MountTableTest, FstabEntriesGiveTheirMountPointsUnescapedWithoutSwapOrComments)
{
    const QByteArray fstab = "# /etc/fstab: static file system information.\n"
                             "UUID=1a2b / ext4 errors=remount-ro 0 1\n"
                             "   # indented comment /mnt/commented\n"
                             "UUID=3c4d none swap sw 0 0\n"
                             "/swapfile /swapfile swap defaults 0 0\n"
                             "//nas/calls\t/mnt/Call\\040Share/  cifs\tnoauto,user 0 0\n"
                             "/srv/export /mnt/bound none bind 0 0\n"
                             "tmpfs /tmp//scratch/ tmpfs defaults 0 0\n"
                             "\n"
                             "proc\n";
    EXPECT_EQ(MountTable::configuredMountPoints(fstab),
              QStringList({"/", "/mnt/Call Share", "/mnt/bound", "/tmp/scratch"}));
}

TEST(MountTableTest, MountinfoAndMountsLinesGiveTheirMountPoints)
{
    struct Case {
        const char* text;
        QStringList expected;
    };
    const Case cases[] = {
        {"22 1 0:21 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
         "36 22 0:33 /export/sub /mnt/Call\\040Share rw master:2 - nfs nas:/calls rw\n"
         "37 22 0:34 / /mnt/back\\134slash rw - tmpfs tmpfs rw\n",
         {"/", "/mnt/Call Share", "/mnt/back\\slash"}},
        {"/dev/sda1 / ext4 rw 0 0\n//nas/calls /mnt/Call\\040Share cifs rw 0 0\n",
         {"/", "/mnt/Call Share"}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MountTable::mountedMountPoints(c.text), c.expected) << c.text;
}

TEST(MountTableTest, AFolderIsOnAnUnmountedShareOnlyWhenNothingMountedCoversIt)
{
    const QByteArray fstab = "/dev/sda1 / ext4 defaults 0 1\n"
                             "//nas/calls /mnt/share cifs noauto 0 0\n"
                             "/dev/sdb1 /mnt/share/local ext4 defaults 0 2\n"
                             "//nas/other /mnt/other\\040share/ cifs noauto 0 0\n";
    const QByteArray rootOnly = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    const QByteArray shareMounted = rootOnly + "40 22 0:50 / /mnt/share rw - cifs //nas/calls rw\n";
    const QByteArray localMounted =
        rootOnly + "41 22 8:17 / /mnt/share/local rw - ext4 /dev/sdb1 rw\n";
    const QByteArray deeperMounted =
        rootOnly + "42 22 0:51 / /mnt/share/calls/x rw - tmpfs tmpfs rw\n";
    struct Case {
        QByteArray mounts;
        const char* folder;
        QString expected;
    };
    const Case cases[] = {
        {rootOnly, "/mnt/share/calls/", "/mnt/share"},
        {rootOnly, "/mnt/share", "/mnt/share"},
        {rootOnly, "/mnt/shared/calls", ""},
        {rootOnly, "/home/anna/calls", ""},
        {rootOnly, "/mnt/other share/calls", "/mnt/other share"},
        {shareMounted, "/mnt/share/calls", ""},
        {localMounted, "/mnt/share/local/calls", ""},
        {localMounted, "/mnt/share/calls", "/mnt/share"},
        {deeperMounted, "/mnt/share/calls/x/y", ""},
        {deeperMounted, "/mnt/share/calls", "/mnt/share"},
    };
    QTemporaryDir dir;
    const QString fstabFile = dir.filePath(QStringLiteral("fstab"));
    const QString mountsFile = dir.filePath(QStringLiteral("mountinfo"));
    ASSERT_TRUE(AudioFixtures::writeFile(fstabFile, fstab));
    for (const Case& c : cases) {
        ASSERT_TRUE(AudioFixtures::writeFile(mountsFile, c.mounts));
        EXPECT_EQ(MountTable(fstabFile, mountsFile).unmountedMountPoint(c.folder), c.expected)
            << c.folder << " with\n"
            << c.mounts.constData();
    }
    // Without the mounted list nothing can be said, and "/" is in every fstab.
    EXPECT_EQ(MountTable(fstabFile, dir.filePath(QStringLiteral("missing")))
                  .unmountedMountPoint(QStringLiteral("/mnt/share/calls")),
              QString());
}

} // namespace
