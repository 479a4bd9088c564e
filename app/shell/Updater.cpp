#include "app/shell/Updater.h"

#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/system/GetSystemVersion.h"
#include "core/system/Logging.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QXmlStreamReader>

Updater::Updater(SettingsStore& settings, QString currentVersion, QObject* parent)
    : QObject(parent), m_settings(settings), m_currentVersion(std::move(currentVersion)),
      m_network(new QNetworkAccessManager(this))
{
    connect(m_network, &QNetworkAccessManager::finished, this, &Updater::onFinished);
}

bool Updater::automaticallyChecksForUpdates() const
{
    return m_settings.boolForKey(SettingsKeys::SUEnableAutomaticChecks);
}

void Updater::setAutomaticallyChecksForUpdates(bool enabled)
{
    m_settings.setBool(enabled, SettingsKeys::SUEnableAutomaticChecks);
}

QUrl Updater::feedUrl() const
{
    const QString configured = m_settings.stringForKey(kFeedUrlKey);
    return configured.isEmpty() ? kDefaultFeedUrl : QUrl(configured);
}

void Updater::checkForUpdates()
{
    QNetworkRequest request(feedUrl());
    request.setTransferTimeout(30000);
    m_network->get(request);
}

void Updater::checkIfDue()
{
    if (!automaticallyChecksForUpdates())
        return;
    const qint64 interval = m_settings.objectForKey(kCheckIntervalKey).isValid()
                                ? m_settings.objectForKey(kCheckIntervalKey).toLongLong()
                                : 86400;
    const QDateTime last = m_settings.objectForKey(SettingsKeys::SULastCheckTime).toDateTime();
    if (!last.isValid() || last.secsTo(QDateTime::currentDateTimeUtc()) >= interval)
        checkForUpdates();
}

void Updater::onFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qCInfo(lcApp) << "update check failed:" << reply->errorString();
        Q_EMIT checkFailed(reply->errorString());
        return;
    }
    m_settings.setObject(QDateTime::currentDateTimeUtc(), SettingsKeys::SULastCheckTime);
    if (const auto release = newestRelease(reply->readAll(), m_currentVersion))
        Q_EMIT updateFound(*release);
    else
        Q_EMIT noUpdateFound();
}

std::optional<Updater::Release> Updater::newestRelease(const QByteArray& appcast,
                                                       const QString& currentVersion)
{
    std::optional<Release> best;
    QXmlStreamReader xml(appcast);
    QString title;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QStringLiteral("item"))
            title.clear();
        else if (xml.isStartElement() && xml.name() == QStringLiteral("title"))
            title = xml.readElementText();
        else if (xml.isStartElement() && xml.name() == QStringLiteral("enclosure")) {
            Release r;
            for (const QXmlStreamAttribute& attribute : xml.attributes()) {
                // The version attribute may carry any namespace prefix.
                if (attribute.name() == QStringLiteral("version") && r.version.isEmpty())
                    r.version = attribute.value().toString();
                else if (attribute.name() == QStringLiteral("url"))
                    r.downloadUrl = QUrl(attribute.value().toString());
            }
            r.title = title;
            if (!r.version.isEmpty() && GetSystemVersion::compareVersions(r.version, currentVersion) > 0 &&
                (!best || GetSystemVersion::compareVersions(r.version, best->version) > 0))
                best = r;
        }
    }
    if (xml.hasError())
        return std::nullopt;
    return best;
}
