#pragma once

#include "core/vault/ServerVolumeMounter.h"

// Network shares through gvfs: "gio mount URL", answering its user, domain and password
// questions on standard input.
class GioServerVolumeMounter : public ServerVolumeMounter
{
public:
    explicit GioServerVolumeMounter(QString program = QStringLiteral("gio"), int timeoutMs = 60000);
    int mountServerVolume(const QString& url, const QString& user, const QString& password) override;
    QString lastError() const { return m_lastError; }

private:
    QString m_program;
    int m_timeoutMs;
    QString m_lastError;
};
