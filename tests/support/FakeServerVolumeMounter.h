#pragma once

#include "core/vault/ServerVolumeMounter.h"

#include <QList>

// Answers share mounts with a fixed status and records every request.
class FakeServerVolumeMounter : public ServerVolumeMounter
{
public:
    struct Request
    {
        QString url;
        QString user;
        QString password;
    };

    int mountServerVolume(const QString& url, const QString& user, const QString& password) override
    {
        requests.append({url, user, password});
        return status;
    }

    int status = 0;
    QList<Request> requests;
};
