#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A desktop notification service on the test's private session bus that keeps every notice,
// or, when silent, never answers.
class RecordingNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice
    {
        QString application;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
        int expireTimeout;
    };

    // Serves on a connection of its own, so calls from the test's connection go through the bus.
    bool start();
    void stop();

    QList<Notice> notices;
    bool silent = false;

public Q_SLOTS:
    uint Notify(const QString& application, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout);
    QStringList GetCapabilities() { return {QStringLiteral("body"), QStringLiteral("body-markup")}; }

private:
    QString m_connectionName;
};
