#pragma once

#include "core/system/NoticePort.h"

#include <QDBusConnection>
#include <QObject>

// Notices through the desktop's notification service (org.freedesktop.Notifications on the
// session bus). Calls are asynchronous with a timeout, so a silent, missing or slowly activated
// service never stalls the caller; a sticky notice never expires by itself.
class FreedesktopNotices : public QObject, public NoticePort
{
    Q_OBJECT

public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    static constexpr int kCallTimeoutMs = 10000;

    explicit FreedesktopNotices(QObject* parent = nullptr,
                                QDBusConnection bus = QDBusConnection::sessionBus());
    void notify(const QString& title, const QString& text, bool sticky) override;
    // done(true) once the service answered the call; done(false) when it is missing, failed or
    // did not answer in time.
    void notifyConfirmed(const QString& title, const QString& text, bool sticky,
                         std::function<void(bool shown)> done) override;

    // The body as the service shows it: line breaks as line feeds, markup characters escaped.
    static QString bodyText(const QString& text);
    // Calls sent and not yet answered.
    int pendingCalls() const { return m_pending; }

private:
    QDBusConnection m_bus;
    int m_pending = 0;
};
