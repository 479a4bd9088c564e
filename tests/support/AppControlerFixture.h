#pragma once

#include "app/shell/AppControler.h"
#include "core/settings/SettingsStore.h"
#include "core/system/NotificationCenter.h"
#include "platform/DBusNotificationCenter.h"
#include "platform/FreedesktopTrash.h"
#include "tests/support/RecordingLauncher.h"
#include "tests/support/RecordingUrlOpener.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/ScriptedSelfUnlockPanel.h"

// Everything the application controller talks to, with scripted answers.
struct AppControlerFixture
{
    SettingsStore settings{SettingsStore::kZorvaneDomain};
    ScriptedAlertPort alerts;
    ScriptedSelfUnlockPanel selfUnlock;
    RecordingUrlOpener urls;
    DBusNotificationCenter distributed;
    NotificationCenter local;
    RecordingLauncher launcher;
    FreedesktopTrash trash;
    ScriptedPasswordPanel panel;

    AppControlerServices services()
    {
        AppControlerServices s;
        s.settings = &settings;
        s.alerts = &alerts;
        s.selfUnlock = &selfUnlock;
        s.urls = &urls;
        s.distributed = &distributed;
        s.local = &local;
        s.launcher = &launcher;
        s.trash = &trash;
        s.unlock.settings = &settings;
        s.unlock.alerts = &alerts;
        s.unlock.panel = &panel;
        return s;
    }
};
