#include "core/vault/MountTable.h"

#include <QTest>
#include <sys/sysmacros.h>

class TestMountTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesAndUnescapes()
    {
        const QByteArray info =
            "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
            "44 22 0:39 / /home/u/.local/share/Zorvane/Volumes/My\\040Vault rw,nosuid - fuse.gocryptfs "
            "/home/u/Zorvane/My\\040Vault.sparsebundle/cipher rw,user_id=1000\n"
            "45 22 0:40 /share /mnt/smb rw master:3 shared:9 - cifs //server/share rw\n"
            "garbage line\n";
        const QList<MountEntry> entries = MountTable::parse(info);
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[1].mountPoint, QStringLiteral("/home/u/.local/share/Zorvane/Volumes/My Vault"));
        QCOMPARE(entries[1].fsType, QStringLiteral("fuse.gocryptfs"));
        QCOMPARE(entries[1].source, QStringLiteral("/home/u/Zorvane/My Vault.sparsebundle/cipher"));
        QCOMPARE(entries[2].fsType, QStringLiteral("cifs"));
        QCOMPARE(entries[2].source, QStringLiteral("//server/share"));
        QCOMPARE(entries[2].root, QStringLiteral("/share"));
        QCOMPARE(entries[0].device, makedev(8, 1));
        QCOMPARE(entries[1].device, makedev(0, 39));

        QCOMPARE(MountTable::mountContaining(QStringLiteral("/mnt/smb/a/b"), entries)->fsType,
                 QStringLiteral("cifs"));
        QCOMPARE(MountTable::mountContaining(QStringLiteral("/mnt/smbx"), entries)->fsType,
                 QStringLiteral("ext4"));
    }

    void readsTheLiveTable() { QVERIFY(!MountTable::read().isEmpty()); }
};

QTEST_GUILESS_MAIN(TestMountTable)
#include "TestMountTable.moc"
