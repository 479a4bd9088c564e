#pragma once

#include <QString>

// Where the built programs and helpers are, for tests that start them as child processes.
class TestPaths
{
public:
    static QString appDir() { return QStringLiteral(ZV_APP_DIR); }
    static QString toolPath() { return appDir() + QStringLiteral("/Contents/bin/hdiutil"); }
    static QString sourceDir() { return QStringLiteral(ZV_SOURCE_DIR); }
    static QString helper(const QString& name) { return QStringLiteral(ZV_TEST_BIN_DIR "/helpers/") + name; }
    // Waits until a started ZorvaneStatus owns its bus name, i.e. listens for notifications.
    static bool waitForStatusHelper(int timeoutMs = 15000);
    // Fails the calling test unless HOME is a temporary one made by the test launcher.
    static bool homeIsPrivate();
};
