#pragma once

#include <QIcon>
#include <QString>

// One row of the vault list.
class harddisktable
{
public:
    harddisktable() = default;
    harddisktable(const QIcon& appicon, const QString& name, const QString& mountstatus,
                  const QString& diskpath, const QString& disksize, bool ismounted)
        : m_appicon(appicon), m_name(name), m_mountstatus(mountstatus), m_diskpath(diskpath),
          m_disksize(disksize), m_ismounted(ismounted)
    {}

    // "hdd_mount_32" and "hdd_unmount_32": a drive with an open or a closed lock.
    static QIcon mountedIcon();
    static QIcon unmountedIcon();

    QIcon appicon() const { return m_appicon; }
    void setAppicon(const QIcon& value) { m_appicon = value; }
    // The vault name: the key of its record.
    QString name() const { return m_name; }
    void setName(const QString& value) { m_name = value; }
    // "Unlocked", "Locked" or "Unavailable".
    QString mountstatus() const { return m_mountstatus; }
    void setMountstatus(const QString& value) { m_mountstatus = value; }
    QString diskpath() const { return m_diskpath; }
    void setDiskpath(const QString& value) { m_diskpath = value; }
    // Size text, "Available:" with the free space, or "N/A".
    QString disksize() const { return m_disksize; }
    void setDisksize(const QString& value) { m_disksize = value; }
    // Whether the vault was attached when the row last heard of a mount change.
    bool ismounted() const { return m_ismounted; }
    void setIsmounted(bool value) { m_ismounted = value; }

private:
    QIcon m_appicon;
    QString m_name;
    QString m_mountstatus;
    QString m_diskpath;
    QString m_disksize;
    bool m_ismounted = false;
};
