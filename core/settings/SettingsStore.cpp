#include "core/settings/SettingsStore.h"

#include "core/files/SetAside.h"
#include "core/settings/AtomicFile.h"
#include "core/settings/Paths.h"
#include "core/settings/PropertyList.h"
#include "core/system/Logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

namespace {

// Serialises read-modify-write of one domain file between threads and programs, so that
// two writers of different keys never lose each other's change.
class DomainFileLock
{
public:
    explicit DomainFileLock(const QString& domainFile)
    {
        const QString lockPath = QFileInfo(domainFile).absolutePath() + QStringLiteral("/.") +
                                 QFileInfo(domainFile).fileName() + QStringLiteral(".lock");
        m_fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~DomainFileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DomainFileLock(const DomainFileLock&) = delete;
    DomainFileLock& operator=(const DomainFileLock&) = delete;

private:
    int m_fd = -1;
};

// A file that is not a property list is kept under a new name, never deleted, so whatever
// it held can still be recovered by hand.
void setAside(const QString& path)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QString kept = SetAside::moveAside(path, path, QStringLiteral(".corrupt-") + stamp);
    if (!kept.isEmpty())
        qCWarning(lcSettings) << "settings file" << path << "is not a property list; kept as" << kept;
    else
        qCWarning(lcSettings) << "settings file" << path
                              << "is not a property list and could not be moved aside";
}

} // namespace

SettingsStore::SettingsStore(const QString& domain) : m_domain(domain) {}

static qint64 nowNs()
{
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool SettingsStore::isCurrent(const CachedDomain& cached, const Stamp& now)
{
    if (!cached.loaded || !(now == cached.stamp))
        return false;
    // A file changed within the file system's timestamp granularity of our read may have
    // been replaced again with the same size, time and a reused inode: read it again.
    constexpr qint64 kRacyWindowNs = 2'000'000'000;
    return !now.exists || cached.loadedAtNs - now.mtimeNs > kRacyWindowNs;
}

QVariantMap SettingsStore::loadFile(const QString& path, bool* unreadable)
{
    if (unreadable)
        *unreadable = false;
    QFile file(path);
    if (!file.exists())
        return {};
    const bool opened = file.open(QIODevice::ReadOnly);
    const QByteArray bytes = opened ? file.readAll() : QByteArray();
    if (!opened || file.error() != QFileDevice::NoError) {
        qCWarning(lcSettings) << "cannot read settings file" << path << file.errorString();
        if (unreadable)
            *unreadable = true;
        return {};
    }
    file.close();
    if (bytes.isEmpty())
        return {};
    const std::optional<QVariant> parsed = PropertyList::fromData(bytes);
    if (!parsed || parsed->typeId() != QMetaType::QVariantMap) {
        setAside(path);
        return {};
    }
    return parsed->toMap();
}

const QVariantMap& SettingsStore::domainValues(const QString& domain) const
{
    const QString path = Paths::settingsFile(domain);
    CachedDomain& cached = m_cache[domain];
    const Stamp now = FileStamp::of(path);
    if (!isCurrent(cached, now)) {
        cached.loadedAtNs = nowNs();
        cached.values = loadFile(path);
        // A file set aside has a new stamp (it no longer exists under its name).
        cached.stamp = FileStamp::of(path);
        cached.loaded = true;
    }
    return cached.values;
}

QVariant SettingsStore::objectForKey(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    const QVariantMap& own = domainValues(m_domain);
    if (auto it = own.constFind(key); it != own.cend())
        return *it;
    for (const QString& suite : m_suites) {
        const QVariantMap& values = domainValues(suite);
        if (auto it = values.constFind(key); it != values.cend())
            return *it;
    }
    return m_registered.value(key);
}

QVariantMap SettingsStore::dictionaryForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : QVariantMap();
}

QVariantList SettingsStore::arrayForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    return v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList ? v.toList()
                                                                                         : QVariantList();
}

QStringList SettingsStore::stringArrayForKey(const QString& key) const
{
    QStringList result;
    for (const QVariant& item : arrayForKey(key)) {
        if (item.typeId() == QMetaType::QString)
            result.append(item.toString());
    }
    return result;
}

QString SettingsStore::stringForKey(const QString& key) const
{
    const QVariant v = objectForKey(key);
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return v.toString();
    default:
        return {};
    }
}

bool SettingsStore::toBool(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toLongLong() != 0;
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: {
        // A string is true when it starts with Y, y, T, t or a non-zero digit ("YES", "true", "1").
        const QString s = value.toString().trimmed();
        if (s.isEmpty())
            return false;
        const QChar c = s.at(0);
        if (c == QLatin1Char('Y') || c == QLatin1Char('y') || c == QLatin1Char('T') || c == QLatin1Char('t'))
            return true;
        if (c == QLatin1Char('+') || c == QLatin1Char('-') || c.isDigit()) {
            for (QChar d : s.mid(c.isDigit() ? 0 : 1)) {
                if (!d.isDigit())
                    break;
                if (d != QLatin1Char('0'))
                    return true;
            }
        }
        return false;
    }
    default:
        return false;
    }
}

bool SettingsStore::boolForKey(const QString& key) const
{
    return toBool(objectForKey(key));
}

bool SettingsStore::modifyOwnDomain(const std::function<void(QVariantMap&)>& change)
{
    QMutexLocker lock(&m_mutex);
    const QString path = Paths::settingsFile(m_domain);
    if (!QDir().mkpath(Paths::settingsFolder())) {
        qCWarning(lcSettings) << "cannot create the settings folder" << Paths::settingsFolder();
        return false;
    }
    DomainFileLock fileLock(path);
    // Start from what is on disk now: another program may have written since our last read. A
    // file that exists but can't be read must not be replaced by one holding only this change.
    bool unreadable = false;
    QVariantMap values = loadFile(path, &unreadable);
    if (unreadable)
        return false;
    change(values);
    QString error;
    if (!AtomicFile::write(path, PropertyList::toXml(values), &error, 0600)) {
        qCWarning(lcSettings) << "cannot write settings:" << error;
        return false;
    }
    CachedDomain& cached = m_cache[m_domain];
    cached.values = values;
    cached.stamp = FileStamp::of(path);
    cached.loadedAtNs = nowNs();
    cached.loaded = true;
    return true;
}

bool SettingsStore::setObject(const QVariant& value, const QString& key)
{
    const bool ok = modifyOwnDomain([&](QVariantMap& values) {
        if (value.isValid())
            values.insert(key, value);
        else
            values.remove(key);
    });
    if (ok)
        notifyObservers(key);
    return ok;
}

int SettingsStore::addObserver(const QString& key, Observer observer)
{
    QMutexLocker lock(&m_mutex);
    const int id = m_nextObserverId++;
    m_observers.append({id, key, std::move(observer)});
    return id;
}

void SettingsStore::removeObserver(int id)
{
    QMutexLocker lock(&m_mutex);
    m_observers.removeIf([id](const ObserverEntry& e) { return e.id == id; });
}

void SettingsStore::notifyObservers(const QString& key)
{
    QList<Observer> due;
    {
        QMutexLocker lock(&m_mutex);
        for (const ObserverEntry& e : std::as_const(m_observers)) {
            if (e.key == key)
                due.append(e.observer);
        }
    }
    for (const Observer& observer : due)
        observer(key);
}

bool SettingsStore::setBool(bool value, const QString& key)
{
    return setObject(QVariant(value), key);
}

namespace {

// dict with the value at path[index..] set (or removed for a null value), creating dictionaries.
QVariantMap withValueAt(QVariantMap dict, const QStringList& path, qsizetype index, const QVariant& value)
{
    if (index == path.size() - 1) {
        if (value.isValid())
            dict.insert(path[index], value);
        else
            dict.remove(path[index]);
        return dict;
    }
    dict.insert(path[index], withValueAt(dict.value(path[index]).toMap(), path, index + 1, value));
    return dict;
}

} // namespace

bool SettingsStore::setValueForKeyPath(const QVariant& value, const QString& keyPath)
{
    const QStringList parts = keyPath.split(QLatin1Char('.'));
    if (parts.size() == 1)
        return setObject(value, keyPath);
    // The outer dictionary is read through the whole search order (a suite's list is the start
    // when the own domain has none yet) and written back whole, like every record list.
    return setObject(withValueAt(dictionaryForKey(parts[0]), parts, 1, value), parts[0]);
}

bool SettingsStore::removeObjectForKey(const QString& key)
{
    return setObject(QVariant(), key);
}

void SettingsStore::registerDefaults(const QVariantMap& defaults)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_registered.insert(it.key(), it.value());
}

void SettingsStore::addSuiteNamed(const QString& suite)
{
    QMutexLocker lock(&m_mutex);
    if (suite != m_domain && !m_suites.contains(suite))
        m_suites.append(suite);
}

QStringList SettingsStore::suites() const
{
    QMutexLocker lock(&m_mutex);
    return m_suites;
}

bool SettingsStore::synchronize()
{
    QMutexLocker lock(&m_mutex);
    m_cache.clear();
    return true;
}

void SettingsStore::resetStandardUserDefaults()
{
    QMutexLocker lock(&m_mutex);
    m_suites.clear();
    m_registered.clear();
    m_cache.clear();
}
