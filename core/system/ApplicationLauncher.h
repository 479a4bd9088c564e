#pragma once

#include <QString>
#include <QStringList>

// Starts another program of the application folder ("launching X.app" runs
// X.app/Contents/bin/X), detached from the caller.
class ApplicationLauncher
{
public:
    virtual ~ApplicationLauncher() = default;
    virtual bool launchApplication(const QString& bundlePath, const QStringList& arguments = {}) = 0;
};
