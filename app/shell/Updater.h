#pragma once

#include <QObject>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class SettingsStore;

// Looks for a newer Zorvane in an appcast feed (RSS items with an enclosure carrying the
// version). It only tells: installing is left to the user's package manager or download.
class Updater : public QObject
{
    Q_OBJECT
public:
    static inline const QString kFeedUrlKey = QStringLiteral("SUFeedURL");
    static inline const QString kCheckIntervalKey = QStringLiteral("SUScheduledCheckInterval");
    static inline const QUrl kDefaultFeedUrl =
        QUrl(QStringLiteral("https://www.tarnwick.com/zorvane/appcast.xml"));

    struct Release
    {
        QString version;
        QString title;
        QUrl downloadUrl;
    };

    Updater(SettingsStore& settings, QString currentVersion, QObject* parent = nullptr);

    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool enabled);
    QUrl feedUrl() const;

    // Checks now, in the background; one of the signals follows. "SULastCheckTime" is written
    // when the feed was read.
    void checkForUpdates();
    // Checks when automatic checks are on and the last check is older than the interval.
    void checkIfDue();

    // The newest release in an appcast, if it is newer than currentVersion.
    static std::optional<Release> newestRelease(const QByteArray& appcast, const QString& currentVersion);

Q_SIGNALS:
    void updateFound(const Updater::Release& release);
    void noUpdateFound();
    void checkFailed(const QString& reason);

private:
    void onFinished(QNetworkReply* reply);

    SettingsStore& m_settings;
    QString m_currentVersion;
    QNetworkAccessManager* m_network = nullptr;
};
Q_DECLARE_METATYPE(Updater::Release)
