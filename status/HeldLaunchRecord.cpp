#include "status/HeldLaunchRecord.h"

#include "core/settings/AtomicFile.h"
#include "core/settings/PropertyList.h"
#include "core/system/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString HeldLaunchRecord::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/Zorvane/held-launches.plist");
}

bool HeldLaunchRecord::write(const QList<Launch>& launches) const
{
    if (launches.isEmpty())
        return !QFileInfo::exists(m_path) || QFile::remove(m_path);
    QVariantList list;
    for (const Launch& launch : launches) {
        QVariantList members;
        for (const LaunchHold::Member& member : launch.members)
            members.append(QVariantMap{{QStringLiteral("pid"), member.pid},
                                       {QStringLiteral("start"), QString::number(member.startTime)}});
        list.append(QVariantMap{{QStringLiteral("item"), launch.item},
                                {QStringLiteral("vault"), launch.vault},
                                {QStringLiteral("process"), launch.processName},
                                {QStringLiteral("sandbox"), launch.sandboxId},
                                {QStringLiteral("members"), members}});
    }
    QString error;
    if (!QDir().mkpath(QFileInfo(m_path).path()) ||
        !AtomicFile::write(m_path, PropertyList::toXml(QVariantMap{{QStringLiteral("launches"), list}}),
                           &error, 0600)) {
        qCWarning(lcStatus) << "cannot record the held launches in" << m_path << error;
        return false;
    }
    return true;
}

QList<HeldLaunchRecord::Launch> HeldLaunchRecord::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const auto plist = PropertyList::fromData(file.readAll());
    QList<Launch> launches;
    if (!plist)
        return launches;
    for (const QVariant& value : plist->toMap().value(QStringLiteral("launches")).toList()) {
        const QVariantMap map = value.toMap();
        Launch launch{map.value(QStringLiteral("item")).toString(),
                      map.value(QStringLiteral("vault")).toString(),
                      map.value(QStringLiteral("process")).toString(),
                      map.value(QStringLiteral("sandbox")).toString(),
                      {}};
        for (const QVariant& member : map.value(QStringLiteral("members")).toList()) {
            const QVariantMap m = member.toMap();
            const qint64 pid = m.value(QStringLiteral("pid")).toLongLong();
            if (pid > 0)
                launch.members.append({pid, m.value(QStringLiteral("start")).toString().toULongLong()});
        }
        if (!launch.members.isEmpty())
            launches.append(launch);
    }
    return launches;
}
