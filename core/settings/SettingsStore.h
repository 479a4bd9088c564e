#pragma once

#include "core/settings/FileStamp.h"

#include <QHash>
#include <QMutex>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <sys/types.h>

// One program's view of the settings: its own application domain, below it the suites it
// added (in the order added), below those the registered defaults (in memory only).
// Reads search that order; writes always go to the own domain, which is persisted at once,
// whole and atomically. Safe to call from several threads.
class SettingsStore
{
public:
    static inline const QString kZorvaneDomain = QStringLiteral("com.tarnwick.Zorvane");
    static inline const QString kStatusDomain = QStringLiteral("com.tarnwick.ZorvaneStatus");
    static inline const QString kUninstallerDomain = QStringLiteral("com.tarnwick.ZorvaneUninstaller");

    explicit SettingsStore(const QString& domain);
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    QString domain() const { return m_domain; }

    QVariant objectForKey(const QString& key) const;
    QVariant valueForKey(const QString& key) const { return objectForKey(key); }
    QVariantMap dictionaryForKey(const QString& key) const;
    QVariantList arrayForKey(const QString& key) const;
    QStringList stringArrayForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    bool boolForKey(const QString& key) const;

    // A null QVariant removes the key, as setting nil does.
    bool setObject(const QVariant& value, const QString& key);
    bool setBool(bool value, const QString& key);
    bool setValue(const QVariant& value, const QString& key) { return setObject(value, key); }
    // "a.b.c" sets c in dictionary b in dictionary a, creating the dictionaries.
    bool setValueForKeyPath(const QVariant& value, const QString& keyPath);
    bool removeObjectForKey(const QString& key);

    void registerDefaults(const QVariantMap& defaults);
    void addSuiteNamed(const QString& suite);
    QStringList suites() const;

    // Writes are already persisted; this picks up what other programs wrote since.
    bool synchronize();
    // Forgets the suites, the registered defaults and every cached domain.
    void resetStandardUserDefaults();

    // Calls observer after this store has written key (in this process). Returns an id for
    // removeObserver. The observer runs on the writing thread, outside the store's lock.
    using Observer = std::function<void(const QString& key)>;
    int addObserver(const QString& key, Observer observer);
    void removeObserver(int id);

    // The truth value of a stored switch: booleans, numbers, and strings such as "YES"/"NO".
    static bool toBool(const QVariant& value);

private:
    using Stamp = FileStamp;
    struct CachedDomain
    {
        Stamp stamp;
        QVariantMap values;
        qint64 loadedAtNs = 0;
        bool loaded = false;
    };

    const QVariantMap& domainValues(const QString& domain) const;
    static bool isCurrent(const CachedDomain& cached, const Stamp& now);
    static QVariantMap loadFile(const QString& path, bool* unreadable = nullptr);
    bool modifyOwnDomain(const std::function<void(QVariantMap&)>& change);

    QString m_domain;
    QStringList m_suites;
    QVariantMap m_registered;
    struct ObserverEntry
    {
        int id;
        QString key;
        Observer observer;
    };
    QList<ObserverEntry> m_observers;
    int m_nextObserverId = 1;
    void notifyObservers(const QString& key);
    mutable QHash<QString, CachedDomain> m_cache;
    mutable QRecursiveMutex m_mutex;
};
