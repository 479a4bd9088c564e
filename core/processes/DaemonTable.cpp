#include "core/processes/DaemonTable.h"

#include "core/settings/SettingsKeys.h"
#include "core/system/GetSystemVersion.h"

namespace {

using Kind = DaemonKeyKind;
using Cond = DaemonCondition;
using Act = DaemonAction;

const QStringList kEvolutionDaemons{"evolution-alarm-notify", "evolution-addressbook-factory",
                                    "evolution-calendar-factory", "evolution-source-registry"};
const QStringList kAkonadiDaemons{"akonadi_maildir_resource", "akonadiserver", "akonadi_control"};
const QStringList kIndexers{"tracker-miner-fs-3",      "tracker-extract-3", "localsearch-3",
                            "localsearch-extractor-3", "baloo_file",        "baloo_file_extractor"};
const QStringList kOutlook{"Microsoft Outlook", "Microsoft Entourage", "Entourage"};

DaemonRule rule(DaemonPhase phase, Kind kind, QStringList keys, DaemonConditions conditions, Act action,
                QStringList targets)
{
    return {phase, kind, std::move(keys), {}, {}, conditions, action, std::move(targets), {}, 0, 0, {}, {}};
}

DaemonRule since(DaemonRule r, const char* version)
{
    r.minVersion = QString::fromLatin1(version);
    return r;
}

DaemonRule before(DaemonRule r, const char* version)
{
    r.beforeVersion = QString::fromLatin1(version);
    return r;
}

DaemonRule pause(DaemonRule r, int microseconds)
{
    r.pauseMicroseconds = microseconds;
    return r;
}

DaemonRule under(DaemonRule r, const QString& switchKey)
{
    r.switchKey = switchKey;
    return r;
}

DaemonRule texts(DaemonRule r, const char* title, const char* text)
{
    r.title = QString::fromUtf8(title);
    r.text = QString::fromUtf8(text);
    return r;
}

QList<DaemonRule> buildRows()
{
    using P = DaemonPhase;
    namespace K = SettingsKeys;
    QList<DaemonRule> t;

    // The application scan, by application name, in this order.
    t << since(rule(P::Scan, Kind::Application, {"Mail"}, Cond::TargetRuns, Act::Quit,
                    {"com.apple.internetaccounts"}),
               "10.9")
      << rule(P::Scan, Kind::Application, {"Mail"}, Cond::Always, Act::Stop,
              {"CalendarAgent", "com.apple.NotesMigratorService"})
      << since(
             rule(P::Scan, Kind::Application, {"Messages"}, Cond::Always, Act::Stop, {"IMDPersistenceAgent"}),
             "10.10")
      << before(rule(P::Scan, Kind::Application, {"Messages"}, Cond::Always, Act::Stop,
                     {"com.apple.imdpersistence.IMDPersistenceAgent"}),
                "10.10")
      << rule(P::Scan, Kind::Application, {"iPhoto", "Aperture"}, Cond::TargetRuns, Act::Quit,
              {"PhotoStreamAgent"})
      << rule(P::Scan, Kind::Application, {"iPhoto", "Aperture"}, Cond::TargetRuns, Act::Stop,
              {"cloudphotosd"})
      << rule(P::Scan, Kind::Application, {"iPhoto", "Aperture"}, Cond::EarlierRowActed, Act::Notification,
              {"Com.Tarnwick.HelperPhotoStreamMessage"})
      << rule(P::Scan, Kind::Application, {"Photos"}, Cond::Always, Act::Stop,
              {"cloudphotosd", "photolibraryd"})
      << rule(P::Scan, Kind::Application, {"Evernote", "Evernote App"}, Cond::TargetRuns, Act::Quit,
              {"EvernoteHelper"})
      << texts(rule(P::Scan, Kind::Application, kOutlook, Cond::TargetRuns, Act::RefusalSheet,
                    {"SyncServicesAgent"}),
               "Turn off Sync Service in Outlook",
               "You need to turn off Sync Service in outllook to ensure a successful encryption, open "
               "Outlook. on the Outlook menu, click Preferences. Under Other, click Sync Services. Clear all "
               "check boxes, and then close the window. After that, restart your mac.")
      << since(rule(P::Scan, Kind::Application, kOutlook, Cond::TargetRuns, Act::LoginItemRemoval,
                    {"Microsoft Database Daemon"}),
               "10.5")
      << rule(P::Scan, Kind::Application, kOutlook, Cond::TargetRuns, Act::Quit,
              {"Microsoft Database Daemon"});
    // Linux: the desktop's data servers keep mail stores, address books and indexes open.
    t << rule(P::Scan, Kind::Application, {"Evolution"}, Cond::TargetRuns, Act::Quit, kEvolutionDaemons);
    DaemonRule akonadiStop =
        rule(P::Scan, Kind::Application, {"KMail"}, Cond::Always, Act::Command, {"akonadictl", "stop"});
    akonadiStop.timeoutMs = 15000;
    t << akonadiStop
      << rule(P::Scan, Kind::Application, {"KMail"}, Cond::CommandMissing | Cond::TargetRuns, Act::Quit,
              kAkonadiDaemons)
      << rule(P::Scan, Kind::Application, {"digiKam", "Zim"}, Cond::TargetRuns, Act::Quit, kIndexers);

    // The third attempt to move an original (or a vault copy) to the Trash.
    t << rule(P::ThirdTrashAttempt, Kind::DataFolder, {"Mail"}, Cond::Always, Act::Stop,
              {"com.apple.internetaccounts", "com.apple.NotesMigratorService", "CalendarAgent", "cfprefsd"})
      << rule(P::ThirdTrashAttempt, Kind::DataFolder, {"iPhoto Library", "Aperture Library"}, Cond::Always,
              Act::Stop, {"PhotoStreamAgent", "cloudphotosd"})
      << rule(P::ThirdTrashAttempt, Kind::Application, {"Evolution"}, Cond::TargetRuns, Act::Quit,
              kEvolutionDaemons)
      << rule(P::ThirdTrashAttempt, Kind::Application, {"digiKam", "Zim"}, Cond::TargetRuns, Act::Quit,
              kIndexers);

    // After the copy, before the original is touched.
    t << rule(P::AfterCopy, Kind::DataFolder,
              {"Office 2011 Identities", "Office 2008 Identities", "Office 2004 Identities"},
              Cond::TargetRuns, Act::JobError, {"Microsoft Database Daemon"});
    // Linux: a daemon the session bus started again meanwhile is asked to quit once more.
    t << rule(P::AfterCopy, Kind::Application, {"Evolution"}, Cond::TargetRuns, Act::Quit, kEvolutionDaemons)
      << rule(P::AfterCopy, Kind::Application, {"KMail"}, Cond::TargetRuns, Act::Quit, kAkonadiDaemons)
      << rule(P::AfterCopy, Kind::Application, {"digiKam", "Zim"}, Cond::TargetRuns, Act::Quit, kIndexers);

    // At completion.
    t << rule(P::Completion, Kind::Application, {"Photos"}, Cond::Always, Act::Notification,
              {"Com.Tarnwick.HelperPhotosMessage"})
      << texts(rule(P::Completion, Kind::Application, {"Microsoft Outlook", "Microsoft Entourage"},
                    Cond::Always, Act::JobError, {}),
               "Encryption failed", "Encrypt %@ failed, Microsoft Database Daemon is still using the files.");

    // Locking a protected item's vault that would not detach, by the holder's name.
    t << pause(rule(P::ItemLock, Kind::HolderContains, {"internetaccounts"}, Cond::Always, Act::Stop,
                    {"com.apple.internetaccounts"}),
               2000)
      << pause(rule(P::ItemLock, Kind::HolderContains, {"photostreamagent"}, Cond::Always, Act::Stop,
                    {"PhotoStreamAgent", "com.apple.photostream-agent"}),
               1000);
    const QStringList lockHolders{"evolution-source-registry",
                                  "evolution-addressbook-factory",
                                  "evolution-calendar-factory",
                                  "goa-daemon",
                                  "tracker-miner-fs-3",
                                  "localsearch-3",
                                  "baloo_file"};
    t << rule(P::ItemLock, Kind::Holder, lockHolders, Cond::HoldsVaultFiles, Act::Quit, lockHolders);

    // Auto-lock, before the eject, each group under its switch and in this order.
    const DaemonConditions holding = Cond::HoldsVaultFiles;
    t << under(rule(P::AutoLock, Kind::AnyApplication, {}, Cond::Always, Act::Stop, {"CalendarAgent"}),
               K::NoDealCalendarAgent)
      << under(
             rule(P::AutoLock, Kind::AnyApplication, {}, holding, Act::Quit, {"evolution-calendar-factory"}),
             K::NoDealCalendarAgent)
      << under(before(rule(P::AutoLock, Kind::ProcessName, {"messages"}, Cond::Always, Act::Stop,
                           {"com.apple.imdpersistence.IMDPersistenceAgent"}),
                      "10.10"),
               K::NoDealMessages)
      << under(since(rule(P::AutoLock, Kind::ProcessName, {"messages"}, Cond::Always, Act::Stop,
                          {"IMDPersistenceAgent"}),
                     "10.10"),
               K::NoDealMessages)
      << under(pause(since(rule(P::AutoLock, Kind::AnyApplication, {}, Cond::TargetRuns, Act::Quit,
                                {"com.apple.internetaccounts"}),
                           "10.9"),
                     2000),
               K::NoDealMacMail)
      << under(rule(P::AutoLock, Kind::AnyApplication, {}, Cond::Always, Act::Stop,
                    {"com.apple.NotesMigratorService"}),
               K::NoDealMacMail)
      << under(rule(P::AutoLock, Kind::AnyApplication, {}, holding, Act::Quit,
                    QStringList{"evolution-source-registry", "evolution-addressbook-factory",
                                "evolution-alarm-notify", "goa-daemon"}
                        << kAkonadiDaemons),
               K::NoDealMacMail)
      << under(since(rule(P::AutoLock, Kind::ProcessName, {"iphoto", "aperture", "photos"},
                          Cond::PhotoSoftwareProtected, Act::Stop, {"photolibraryd", "cloudphotosd"}),
                     "10.10"),
               K::NoDealIPhoto)
      << under(pause(rule(P::AutoLock, Kind::AnyApplication, {},
                          Cond::PhotoSoftwareProtected | Cond::TargetRuns, Act::Quit, {"PhotoStreamAgent"}),
                     2000),
               K::NoDealIPhoto)
      << under(rule(P::AutoLock, Kind::AnyApplication, {}, holding, Act::Quit, kIndexers), K::NoDealIPhoto)
      << under(pause(rule(P::AutoLock, Kind::ProcessName, {"microsoft outlook", "microsoft entourage"},
                          Cond::TargetRuns, Act::Quit, {"Microsoft Database Daemon"}),
                     2000),
               K::NoDealMicrosoft)
      << under(pause(rule(P::AutoLock, Kind::ProcessName, {"microsoft outlook", "microsoft entourage"},
                          Cond::TargetRuns, Act::Quit, {"SyncServicesAgent"}),
                     2000),
               K::NoDealMicrosoft)
      << under(rule(P::AutoLock, Kind::ProcessName, {"evernote"}, Cond::TargetRuns, Act::Quit,
                    {"EvernoteHelper"}),
               K::NoDealEvernote)
      << under(rule(P::AutoLock, Kind::AnyApplication, {}, Cond::Always, Act::Stop, {"cfprefsd"}),
               K::NoDealCfprefsd);
    // Auto-lock, after the second failed eject, by the holder's name.
    t << pause(rule(P::AutoLock, Kind::HolderContains, {"internetaccounts"}, Cond::Always, Act::Stop,
                    {"com.apple.internetaccounts"}),
               2000)
      << pause(rule(P::AutoLock, Kind::HolderContains, {"photostreamagent"}, Cond::Always, Act::Stop,
                    {"PhotoStreamAgent", "com.apple.photostream-agent"}),
               1000)
      << rule(P::AutoLock, Kind::HolderContains, {"cloudphotosd"}, Cond::Always, Act::Stop, {"cloudphotosd"});
    return t;
}

bool isHolderKind(DaemonKeyKind kind)
{
    return kind == DaemonKeyKind::Holder || kind == DaemonKeyKind::HolderContains;
}

} // namespace

const QList<DaemonRule>& DaemonTable::rows()
{
    static const QList<DaemonRule> table = buildRows();
    return table;
}

QString DaemonTable::baseApplicationName(const QString& applicationName)
{
    for (const QLatin1String suffix : {QLatin1String(" (Flatpak)"), QLatin1String(" (Snap)")}) {
        if (applicationName.endsWith(suffix))
            return applicationName.chopped(suffix.size());
    }
    return applicationName;
}

bool DaemonTable::keyMatches(const DaemonRule& rule, const DaemonQuery& query)
{
    // A lookup by holders asks only the holder rows; any other lookup never reaches them.
    if (isHolderKind(rule.keyKind) != !query.holders.isEmpty())
        return false;
    switch (rule.keyKind) {
    case DaemonKeyKind::Application:
        return !query.applicationName.isEmpty() &&
               rule.keys.contains(baseApplicationName(query.applicationName));
    case DaemonKeyKind::ProcessName:
        return !query.processName.isEmpty() && rule.keys.contains(query.processName, Qt::CaseInsensitive);
    case DaemonKeyKind::DataFolder:
        return !query.dataFolderName.isEmpty() && rule.keys.contains(query.dataFolderName);
    case DaemonKeyKind::HolderContains:
        for (const QString& key : rule.keys) {
            if (query.holders.contains(key, Qt::CaseInsensitive))
                return true;
        }
        return false;
    case DaemonKeyKind::Holder:
        for (const QString& holder : query.holders.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (rule.keys.contains(holder.trimmed(), Qt::CaseInsensitive))
                return true;
        }
        return false;
    case DaemonKeyKind::AnyApplication:
        return true;
    }
    return false;
}

QList<DaemonRule> DaemonTable::rulesFor(const DaemonQuery& query)
{
    QList<DaemonRule> result;
    for (const DaemonRule& rule : rows()) {
        if (rule.phase != query.phase || !keyMatches(rule, query))
            continue;
        if (!rule.minVersion.isEmpty() &&
            GetSystemVersion::compareVersions(query.osVersion, rule.minVersion) < 0)
            continue;
        if (!rule.beforeVersion.isEmpty() &&
            GetSystemVersion::compareVersions(query.osVersion, rule.beforeVersion) >= 0)
            continue;
        if (!rule.switchKey.isEmpty() && query.switchIsOn && query.switchIsOn(rule.switchKey))
            continue;
        if (rule.conditions.testFlag(DaemonCondition::PhotoSoftwareProtected) &&
            !query.photoSoftwareProtected)
            continue;
        result.append(rule);
    }
    return result;
}

QStringList DaemonTable::switchKeys()
{
    QStringList keys;
    for (const DaemonRule& rule : rows()) {
        if (!rule.switchKey.isEmpty() && !keys.contains(rule.switchKey))
            keys.append(rule.switchKey);
    }
    return keys;
}
