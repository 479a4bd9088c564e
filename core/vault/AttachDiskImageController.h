#pragma once

#include "core/vault/DiskImageTask.h"
#include "core/vault/PasswordPanel.h"
#include "core/vault/ToolMessageStream.h"
#include "core/vault/UnlockServices.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>

// Runs the disk-image tool for every vault operation: assembles the command line, hands
// passwords over on standard input (UTF-8 and one zero byte each, never on the command
// line), reads property-list output and follows the progress of an attach.
//
// Every operation blocks its caller until the tool exits. An attach waits in a local event
// loop that leaves user input queued, so timers, repaints and progress keep running while
// the window cannot be clicked twice.
//
// Error out-parameters are never written by these operations: a failure is the result.
// getDiskImageSLAStatus reads one to tell a missing licence key from a failed query.
//
// The unlock half attaches a vault the way a user expects: it mounts the network share the
// image lives on, tries the passwords kept in the keyring, and otherwise asks in the password
// panel, which can remember the typed password. Built with the parent-only constructor the
// controller only runs the tool.
class AttachDiskImageController : public QObject, public PasswordPanelClient
{
    Q_OBJECT

public:
    // Results of mountDiskImageAtPath.
    static constexpr int kUnlocked = 1; // attached, or nothing to unlock
    static constexpr int kNotUnlocked = 2;

    static inline const QString kAuthenticationFailed = QStringLiteral("Authentication failed");
    // Suffix of data set aside at a protected item's place when a link has to go there.

    explicit AttachDiskImageController(QObject* parent = nullptr);
    explicit AttachDiskImageController(const UnlockServices& services, QObject* parent = nullptr);
    ~AttachDiskImageController() override;

    // Unlocks the vault image at path: 1 when it is attached now (or needs no unlock), 2 when
    // it is not (share not mounted, image unreadable, or the user cancelled). The password
    // argument is not used; stored passwords are tried, then the user is asked modally.
    int mountDiskImageAtPath(const QString& path, const QStringList& options = {},
                             const QString& password = QString(), QString* error = nullptr);

    // The password of the image without attaching it: a stored one that opens it, else the one
    // the user types. Nothing when the image is not encrypted, cannot be queried, or the user
    // cancelled.
    std::optional<QString> RequirePass(const QString& path);

    // The name of the stored "disk image password" item whose password opens the image: the
    // image's file name, then "<file>_0", "<file>_1", … while such items exist. Nothing when no
    // stored password opens it (or nothing is stored).
    std::optional<QString> passwordItemThatOpens(const QString& path,
                                                 const std::function<bool(const QString&)>& opens);

    // Items protected without a permanent link: after an unlock their data places become links
    // into the vault again, before a lock they become empty folders. Data found at such a place
    // is never deleted; it is set aside with SetAside.
    void dealappstore(const QString& imagePath, bool isLock);
    // The unlock half of that rule for one place: an empty folder there makes way for the link
    // into the vault, anything else is set aside first. Nothing happens without a vault copy or
    // when a link is already there. False when the link could not be made; whatever was at the
    // place is then back there.
    static bool linkIntoVault(const QString& dataPath, const QString& vaultCopy);

    // Stores a vault password as a "disk image password" item named after the image file, or
    // after the first free "<file>_N"; when the keyring refuses, tells the user on window.
    static bool rememberDiskImagePassword(KeychainStore* keychain, AlertPort* alerts, QObject* window,
                                          const QString& imagePath, const QString& password);

    // The password panel's actions.
    void clickok() override;
    void clickcancel() override;
    void clickrememberpassword() override;
    void textDidChange() override;

    bool isPassForMount() const { return m_isPassForMount; }
    const UnlockServices& services() const { return m_services; }

    // A configured, not yet launched run of the tool: command, path, options, then
    // "-stdinpass", "-oldstdinpass", "-newstdinpass" for each password given; the passwords
    // go to standard input in that order. Launch with DiskImageTask::launch or runToEnd.
    static std::unique_ptr<DiskImageTask>
    hdiutilTaskWithCommand(const QString& command, const std::optional<QString>& path = std::nullopt,
                           const QStringList& options = {},
                           const std::optional<QString>& password = std::nullopt,
                           const std::optional<QString>& oldpassword = std::nullopt,
                           const std::optional<QString>& newpassword = std::nullopt);

    // Runs command [path] "-plist" and parses its standard output. False when the tool fails
    // or prints no property list; plist is then an invalid QVariant.
    bool getDiskImagePropertyList(QVariant* plist, const std::optional<QString>& path, const QString& command,
                                  const std::optional<QString>& password = std::nullopt,
                                  QString* error = nullptr);

    // The mount point of the image at imagePath, from infoPlist or else a fresh "info";
    // empty when the image is not mounted or the listing cannot be read.
    QString getMountPointWithDiskImage(const QString& imagePath, const QVariant& infoPlist = {},
                                       QString* error = nullptr);

    // True and *hasEncryption set when the tool answers "isencrypted" with an "encrypted" value.
    bool getDiskImageEncryptionStatus(bool* hasEncryption, const QString& path, QString* error = nullptr);

    // True and *hasLicence set when "imageinfo" names a licence agreement; true with
    // *hasLicence untouched when it names none (unless *error already holds an error);
    // false when the tool fails, e.g. on a wrong password.
    bool getDiskImageSLAStatus(bool* hasLicence, const QString& path, const std::optional<QString>& password,
                               QString* error = nullptr);

    // Attaches the image ("mount" path "-plist" "-puppetstrings" options "-stdinpass"),
    // accepting a licence agreement when the image carries one. Blocks until the tool exits
    // while progress reaches message(); true when it exits with status 0.
    bool realMountDiskImageAtPath(const QString& path, const QStringList& options, const QString& password,
                                  QString* error = nullptr);

    // One read chunk of the attach's standard output / standard error.
    void processStandardOutput(const QByteArray& chunk);
    void processStandardError(const QByteArray& chunk);

    DiskImageTask* task() const { return m_task.get(); }
    void setTask(std::unique_ptr<DiskImageTask> task);
    QString message() const { return m_message; }
    void setMessage(const QString& message);
    QString errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const QString& errorMessage);
    bool isOver() const { return m_isOver; }
    void setIsOver(bool isOver) { m_isOver = isOver; }
    bool isError() const { return m_isError; }
    void setIsError(bool isError) { m_isError = isError; }
    bool iscancel() const { return m_iscancel; }
    void setIscancel(bool iscancel) { m_iscancel = iscancel; }

public Q_SLOTS:
    // The attach's tool has ended (or could not start): the run is over. The runner stays
    // with its owner.
    void hdiutilAttachDidTerminate();

Q_SIGNALS:
    void messageChanged(const QString& message);
    void errorMessageChanged(const QString& errorMessage);
    void attachEnded();

protected:
    // Whether vault passwords are looked up in and stored to the keyring.
    virtual bool remembersPasswords() const { return true; }
    // The name RequirePass shows in its prompt.
    virtual QString requirePassPromptName(const QString& path) const;
    // Picks up what other programs wrote to the settings since the last read.
    virtual void refreshSettings();

    // Mounts the network share a vault image lives on, when it is recorded as a network vault.
    // False when the share could not be mounted.
    bool mountNetworkShare(const QString& path);
    // The image (with its attach options and error slot) the panel's OK attaches.
    void setMountTarget(const QString& path, const QStringList& options, QString* error);
    // Runs the panel for the image in m_mountfilepath; true unless it ended with Cancel.
    bool askForPassword(const QString& prompt, bool forMount, const QString& explanation = QString());
    static QString unlockPrompt(const QString& name);
    // The image's file name with its extension, which also names its keyring items.
    static QString imageFileName(const QString& path);

private:
    struct StoredPassword
    {
        QString itemName;
        QString password;
    };
    std::optional<StoredPassword> storedPasswordItem(const QString& path,
                                                     const std::function<bool(const QString&)>& opens);
    std::optional<QString> storedPasswordThat(const QString& path,
                                              const std::function<bool(const QString&)>& opens);
    static QString freeKeychainItemName(KeychainStore* keychain, const QString& fileName);
    void rememberPassword(const QString& password);
    void recordUnlocked(const QString& path);
    static void replaceLinkByFolder(const QString& dataPath);

    UnlockServices m_services;
    QString m_mountfilepath;
    QStringList m_mountarrayoptions;
    QString* m_realError = nullptr;
    bool m_isPassForMount = true;

    std::unique_ptr<DiskImageTask> m_task;
    QString m_message;
    QString m_errorMessage;
    bool m_isOver = false;
    bool m_isError = false;
    // Why the last attach failed after the password was accepted (no FUSE, a taken mount point).
    QString m_attachFailure;
    bool m_iscancel = true;
    ToolMessageStream m_stdoutBuffer;
    ToolMessageStream m_stderrBuffer;
};
