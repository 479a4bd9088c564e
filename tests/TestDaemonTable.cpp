// Lookups in the daemon table: which rows a phase, a name, a version, the switches and the
// holders select, in table order.
#include "core/processes/DaemonTable.h"

#include <QTest>

namespace {

QString actionName(DaemonAction action)
{
    switch (action) {
    case DaemonAction::Quit:
        return QStringLiteral("quit");
    case DaemonAction::Stop:
        return QStringLiteral("stop");
    case DaemonAction::Command:
        return QStringLiteral("run");
    case DaemonAction::RefusalSheet:
        return QStringLiteral("refuse");
    case DaemonAction::Notification:
        return QStringLiteral("post");
    case DaemonAction::LoginItemRemoval:
        return QStringLiteral("unlogin");
    case DaemonAction::JobError:
        return QStringLiteral("fail");
    }
    return {};
}

// "stop:CalendarAgent,com.apple.NotesMigratorService" per row.
QStringList describe(const QList<DaemonRule>& rules)
{
    QStringList rows;
    for (const DaemonRule& rule : rules)
        rows.append(actionName(rule.action) + QLatin1Char(':') + rule.targets.join(QLatin1Char(',')));
    return rows;
}

} // namespace

class TestDaemonTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void lookups_data()
    {
        QTest::addColumn<int>("phase");
        QTest::addColumn<QString>("application");
        QTest::addColumn<QString>("process");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("holders");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("switchesOn");
        QTest::addColumn<bool>("photo");
        QTest::addColumn<QStringList>("rows");

        const int scan = int(DaemonPhase::Scan);
        const int third = int(DaemonPhase::ThirdTrashAttempt);
        const int afterCopy = int(DaemonPhase::AfterCopy);
        const int completion = int(DaemonPhase::Completion);
        const int itemLock = int(DaemonPhase::ItemLock);
        const int autoLock = int(DaemonPhase::AutoLock);
        const QStringList none;
        const QString evolution = QStringLiteral("evolution-alarm-notify,evolution-addressbook-factory,"
                                                 "evolution-calendar-factory,evolution-source-registry");
        const QString indexers = QStringLiteral("tracker-miner-fs-3,tracker-extract-3,localsearch-3,"
                                                "localsearch-extractor-3,baloo_file,baloo_file_extractor");
        const QString mailDaemons =
            QStringLiteral("evolution-source-registry,evolution-addressbook-factory,"
                           "evolution-alarm-notify,goa-daemon,akonadi_maildir_resource,"
                           "akonadiserver,akonadi_control");

        QTest::newRow("Mail before 10.9 runs no script")
            << scan << "Mail"
            << ""
            << ""
            << ""
            << "10.8" << none << false << QStringList{"stop:CalendarAgent,com.apple.NotesMigratorService"};
        QTest::newRow("Mail on 10.9") << scan << "Mail"
                                      << ""
                                      << ""
                                      << ""
                                      << "10.9" << none << false
                                      << QStringList{"quit:com.apple.internetaccounts",
                                                     "stop:CalendarAgent,com.apple.NotesMigratorService"};
        QTest::newRow("Messages on 10.9: the long name")
            << scan << "Messages"
            << ""
            << ""
            << ""
            << "10.9" << none << false << QStringList{"stop:com.apple.imdpersistence.IMDPersistenceAgent"};
        QTest::newRow("Messages on 10.10: the short name")
            << scan << "Messages"
            << ""
            << ""
            << ""
            << "10.10" << none << false << QStringList{"stop:IMDPersistenceAgent"};
        QTest::newRow("iPhoto: the notice only after an earlier row acted")
            << scan << "iPhoto"
            << ""
            << ""
            << ""
            << "10.9" << none << false
            << QStringList{"quit:PhotoStreamAgent", "stop:cloudphotosd",
                           "post:Com.Tarnwick.HelperPhotoStreamMessage"};
        QTest::newRow("Outlook on 10.4: no login item to remove")
            << scan << "Microsoft Outlook"
            << ""
            << ""
            << ""
            << "10.4" << none << false
            << QStringList{"refuse:SyncServicesAgent", "quit:Microsoft Database Daemon"};
        QTest::newRow("Entourage on 10.5")
            << scan << "Entourage"
            << ""
            << ""
            << ""
            << "10.5" << none << false
            << QStringList{"refuse:SyncServicesAgent", "unlogin:Microsoft Database Daemon",
                           "quit:Microsoft Database Daemon"};
        QTest::newRow("Evolution") << scan << "Evolution"
                                   << ""
                                   << ""
                                   << ""
                                   << "10.9" << none << false << QStringList{"quit:" + evolution};
        QTest::newRow("a Flatpak shares its application's rows")
            << scan << "Evolution (Flatpak)"
            << ""
            << ""
            << ""
            << "10.9" << none << false << QStringList{"quit:" + evolution};
        QTest::newRow("application names are exact") << scan << "evolution"
                                                     << ""
                                                     << ""
                                                     << ""
                                                     << "10.9" << none << false << QStringList{};
        QTest::newRow("KMail: the command, else its daemons")
            << scan << "KMail"
            << ""
            << ""
            << ""
            << "10.9" << none << false
            << QStringList{"run:akonadictl,stop",
                           "quit:akonadi_maildir_resource,akonadiserver,akonadi_control"};
        QTest::newRow("Zim") << scan << "Zim"
                             << ""
                             << ""
                             << ""
                             << "10.9" << none << false << QStringList{"quit:" + indexers};
        QTest::newRow("Thunderbird has none") << scan << "Thunderbird"
                                              << ""
                                              << ""
                                              << ""
                                              << "10.9" << none << false << QStringList{};

        QTest::newRow("third attempt by data folder")
            << third << "Anything"
            << ""
            << "Mail"
            << ""
            << "10.9" << none << false
            << QStringList{
                   "stop:com.apple.internetaccounts,com.apple.NotesMigratorService,CalendarAgent,cfprefsd"};
        QTest::newRow("data folder names are exact") << third << ""
                                                     << ""
                                                     << "mail"
                                                     << ""
                                                     << "10.9" << none << false << QStringList{};
        QTest::newRow("third attempt, Evolution")
            << third << "Evolution"
            << ""
            << "evolution"
            << ""
            << "10.9" << none << false << QStringList{"quit:" + evolution};
        QTest::newRow("a custom folder gets the Office rule")
            << afterCopy << "Office 2011 Identities"
            << ""
            << "Office 2011 Identities"
            << ""
            << "10.9" << none << false << QStringList{"fail:Microsoft Database Daemon"};
        QTest::newRow("after copy, KMail")
            << afterCopy << "KMail"
            << ""
            << "local-mail"
            << ""
            << "10.9" << none << false
            << QStringList{"quit:akonadi_maildir_resource,akonadiserver,akonadi_control"};
        QTest::newRow("completion, Photos")
            << completion << "Photos"
            << ""
            << ""
            << ""
            << "10.9" << none << false << QStringList{"post:Com.Tarnwick.HelperPhotosMessage"};

        QTest::newRow("item lock, holder text contains the key")
            << itemLock << ""
            << ""
            << ""
            << "thunderbird,com.apple.PhotoStreamAgent"
            << "10.9" << none << false << QStringList{"stop:PhotoStreamAgent,com.apple.photostream-agent"};
        QTest::newRow("item lock, a Linux holder by its whole name")
            << itemLock << ""
            << ""
            << ""
            << "geary,Evolution-Source-Registry"
            << "10.9" << none << false
            << QStringList{
                   "quit:evolution-source-registry,evolution-addressbook-factory,evolution-calendar-factory,"
                   "goa-daemon,tracker-miner-fs-3,localsearch-3,baloo_file"};
        QTest::newRow("item lock, a longer name is another program")
            << itemLock << ""
            << ""
            << ""
            << "evolution-source-registry2"
            << "10.9" << none << false << QStringList{};

        const QStringList autoLockAny{"stop:CalendarAgent",
                                      "quit:evolution-calendar-factory",
                                      "quit:com.apple.internetaccounts",
                                      "stop:com.apple.NotesMigratorService",
                                      "quit:" + mailDaemons,
                                      "quit:" + indexers,
                                      "stop:cfprefsd"};
        QTest::newRow("auto-lock, any application") << autoLock << ""
                                                    << "thunderbird"
                                                    << ""
                                                    << ""
                                                    << "10.9" << none << false << autoLockAny;
        QStringList withoutPrefs = autoLockAny;
        withoutPrefs.removeLast();
        QTest::newRow("auto-lock, nodealcfprefsd on")
            << autoLock << ""
            << "thunderbird"
            << ""
            << ""
            << "10.9" << QStringList{"nodealcfprefsd"} << false << withoutPrefs;
        QTest::newRow("auto-lock, every switch on")
            << autoLock << ""
            << "messages"
            << ""
            << ""
            << "10.9" << QStringList{"nodealcalendaragent", "nodealmessages", "nodealmacmail", "nodealiphoto",
                                     "nodealmicrosoft",     "nodealevernote", "nodealcfprefsd"}
            << true << QStringList{};
        QTest::newRow("auto-lock, Messages by its process name on 10.9")
            << autoLock << ""
            << "Messages"
            << ""
            << ""
            << "10.9" << QStringList{"nodealcalendaragent", "nodealmacmail", "nodealiphoto", "nodealcfprefsd"}
            << false << QStringList{"stop:com.apple.imdpersistence.IMDPersistenceAgent"};
        QTest::newRow("auto-lock, photo daemons only with photo software")
            << autoLock << ""
            << "iphoto"
            << ""
            << ""
            << "10.10" << QStringList{"nodealcalendaragent", "nodealmacmail", "nodealcfprefsd"} << true
            << QStringList{"stop:photolibraryd,cloudphotosd", "quit:PhotoStreamAgent", "quit:" + indexers};
        QTest::newRow("auto-lock, no photo software")
            << autoLock << ""
            << "iphoto"
            << ""
            << ""
            << "10.10" << QStringList{"nodealcalendaragent", "nodealmacmail", "nodealcfprefsd"} << false
            << QStringList{"quit:" + indexers};
        QTest::newRow("auto-lock, by holder after the second eject")
            << autoLock << ""
            << "thunderbird"
            << ""
            << "cloudphotosd,com.apple.internetaccounts"
            << "10.9" << none << false << QStringList{"stop:com.apple.internetaccounts", "stop:cloudphotosd"};
    }

    void lookups()
    {
        QFETCH(int, phase);
        QFETCH(QString, application);
        QFETCH(QString, process);
        QFETCH(QString, folder);
        QFETCH(QString, holders);
        QFETCH(QString, version);
        QFETCH(QStringList, switchesOn);
        QFETCH(bool, photo);
        QFETCH(QStringList, rows);

        DaemonQuery query(static_cast<DaemonPhase>(phase));
        query.applicationName = application;
        query.processName = process;
        query.dataFolderName = folder;
        query.holders = holders;
        query.osVersion = version;
        query.switchIsOn = [switchesOn](const QString& key) {
            return switchesOn.contains(key);
        };
        query.photoSoftwareProtected = photo;
        QCOMPARE(describe(DaemonTable::rulesFor(query)), rows);
    }

    void rowsCarryTheirDetails()
    {
        DaemonQuery kmail(DaemonPhase::Scan);
        kmail.applicationName = QStringLiteral("KMail");
        const QList<DaemonRule> rules = DaemonTable::rulesFor(kmail);
        QCOMPARE(rules.first().timeoutMs, 15000);
        QVERIFY(rules.last().conditions.testFlag(DaemonCondition::CommandMissing));

        DaemonQuery outlook(DaemonPhase::Completion);
        outlook.applicationName = QStringLiteral("Microsoft Entourage");
        const DaemonRule failure = DaemonTable::rulesFor(outlook).value(0);
        QCOMPARE(failure.title, QStringLiteral("Encryption failed"));
        QCOMPARE(failure.text,
                 QStringLiteral("Encrypt %@ failed, Microsoft Database Daemon is still using the files."));

        DaemonQuery lock(DaemonPhase::ItemLock);
        lock.holders = QStringLiteral("internetaccounts");
        QCOMPARE(DaemonTable::rulesFor(lock).value(0).pauseMicroseconds, 2000);

        QCOMPARE(DaemonTable::switchKeys(),
                 (QStringList{"nodealcalendaragent", "nodealmessages", "nodealmacmail", "nodealiphoto",
                              "nodealmicrosoft", "nodealevernote", "nodealcfprefsd"}));
    }
};

QTEST_GUILESS_MAIN(TestDaemonTable)
#include "TestDaemonTable.moc"
