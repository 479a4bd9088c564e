#include "platform/FreedesktopNotices.h"

#include "core/system/Logging.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

// Too many unanswered calls mean the service hangs; more would only pile up.
constexpr int kMaxPending = 32;

} // namespace

FreedesktopNotices::FreedesktopNotices(QObject* parent, QDBusConnection bus) : QObject(parent), m_bus(bus) {}

QString FreedesktopNotices::bodyText(const QString& text)
{
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    body.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    body.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return body;
}

void FreedesktopNotices::notify(const QString& title, const QString& text, bool sticky)
{
    notifyConfirmed(title, text, sticky, nullptr);
}

void FreedesktopNotices::notifyConfirmed(const QString& title, const QString& text, bool sticky,
                                         std::function<void(bool shown)> done)
{
    if (!m_bus.isConnected() || m_pending >= kMaxPending) {
        qCDebug(lcPlatform) << "notice not shown:" << title;
        if (done)
            done(false);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    // Sticky notices stay until closed: expire 0 and critical urgency, which servers keep.
    const QVariantMap hints{{QStringLiteral("urgency"), QVariant::fromValue<uchar>(sticky ? 2 : 1)}};
    call << QStringLiteral("Zorvane") << 0u << QStringLiteral("zorvane") << title << bodyText(text)
         << QStringList() << hints << (sticky ? 0 : -1);
    ++m_pending;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, title, done = std::move(done)](QDBusPendingCallWatcher* w) {
                --m_pending;
                if (w->isError())
                    qCDebug(lcPlatform) << "notice" << title << "not shown:" << w->error().message();
                w->deleteLater();
                if (done)
                    done(!w->isError());
            });
}
