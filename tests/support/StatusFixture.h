#pragma once

#include "core/settings/SettingsStore.h"
#include "status/StatusAttachDiskImageController.h"
#include "tests/support/FakeProcessWatcher.h"
#include "tests/support/RecordingNoticePort.h"
#include "tests/support/ScriptedAlertPort.h"
#include "tests/support/ScriptedPasswordPanel.h"
#include "tests/support/StandIns.h"

#include <QTemporaryDir>
#include <memory>

// The helper's controller with real vaults and real stand-in processes: the vault "Mail" holds
// Thunderbird's and Evolution's data, "Chat" Geary's; each data place is a link into its vault,
// as a protect leaves it. The password panel is scripted, notices are recorded, and the test
// reports launches and quits through a fake watcher.
class StatusFixture
{
public:
    static inline const QByteArray kPassword = QByteArrayLiteral("vault p\xc3\xa4ssword");

    // Once per test program: the vaults and the data in them. False when they can't be made.
    bool setUp();
    // Per test: fresh settings (everything protected, vaults locked), panel, notices and controller.
    void reset(bool notifications = true);
    // Per test: ends what the test started and locks the vaults again.
    void tearDown();
    // A controller on the fixture's services; watching through watcher when one is given.
    std::unique_ptr<StatusAttachDiskImageController> makeController(ProcessWatcher* otherWatcher = nullptr);

    QString image(const QString& vault) const;
    static QString dataPlace(const QString& item);
    static QString dataFile(const QString& item);
    bool attach(const QString& vault) const;
    // Starts a stand-in named name and reports its launch.
    QProcess* launch(const QString& name, const QStringList& arguments = {QStringLiteral("sleep")});

    SettingsStore& zorvane() { return *m_zorvane; }
    QString heldRecordPath() const { return m_runtime.filePath(QStringLiteral("held-launches.plist")); }

    std::unique_ptr<ScriptedPasswordPanel> panel;
    std::unique_ptr<RecordingNoticePort> notices;
    std::unique_ptr<FakeProcessWatcher> watcher;
    std::unique_ptr<StatusAttachDiskImageController> controller;
    std::unique_ptr<SettingsStore> helperSettings;
    ScriptedAlertPort alerts;
    StandIns standIns;

private:
    QTemporaryDir m_folder;
    QTemporaryDir m_runtime;
    std::unique_ptr<SettingsStore> m_zorvane;
};
