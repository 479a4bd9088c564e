#pragma once

#include "app/vaults/CreateSheetPort.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <memory>
#include <optional>

class AlertPort;
class DiskImageTask;
class KeychainStore;
class NotificationCenter;
class SettingsStore;

// What the new-vault controller works with; every pointer is required.
struct ControlerServices
{
    SettingsStore* settings = nullptr;
    AlertPort* alerts = nullptr;
    KeychainStore* keychain = nullptr;
    NotificationCenter* local = nullptr;
    CreateSheetPort* sheet = nullptr;
};

// Drives the new-vault sheet: collects name, folder, password, size, format and strength,
// validates them, creates the image with the disk-image tool while the sheet stays live,
// attaches it once, records it under a unique name and posts "addharddisk" with that name.
// Created once by the vault page and reused for every new vault.
class Controler : public QObject, public CreateSheetClient
{
    Q_OBJECT

public:
    static inline const QString kSparseBundle = QStringLiteral("sparse bundle disk image");
    static inline const QString kSparseImage = QStringLiteral("sparse disk image");
    static inline const QString kDmgFile = QStringLiteral("dmg file");
    static inline const QString kCustom = QStringLiteral("Custom..");
    static inline const QString kFreeSizeSuffix = QStringLiteral(" (free hard disk size)");
    static inline const QString kStrong = QStringLiteral("256-bit");
    static inline const QString kWeak = QStringLiteral("128-bit");
    static inline const QString kHiddenFileName = QStringLiteral(".hidden");

    explicit Controler(const ControlerServices& services, QObject* parent = nullptr);
    ~Controler() override;

    // Opens the sheet window-modal on the main window; loads it on first use.
    void showSheet(QWidget* mainWindow);

    void awakeFromNib();
    void SetPopupButton();

    void textDidChange(Field field) override;
    void controlTextDidChange() override;
    void GetFilePath() override;
    void ClickPopupButton() override;
    void OkSizeWindow() override;
    void CancelSizeWindow() override;
    void disclosureButtonPressed() override;
    void disclosureTrianglePressed() override;
    void ClickKeyChainButton() override;
    void CreateDmgFile() override;
    void CancelWindow() override;
    void ClickCancelVault() override;

    // Stores the password as a "disk image password" item named after the image file, or after
    // the first free "<file>_N". False when the keyring would not take it.
    bool addItemToKeychain(const QString& path, const QString& password);

    bool canceled() const { return m_canceled; }
    void setCanceled(bool canceled) { m_canceled = canceled; }
    // A create task runs.
    bool isCreating() const { return m_vaulttask != nullptr; }
    // Full image path of the last creation started.
    QString nsFilePath() const { return m_nsFilePath; }

    // "%i bytes", "%1.1fKB", "%1.1fMB" or "%1.1fGB".
    static QString stringFromFileSize(double size);
    // The size pop-up's items; the free-space item only when the free space is known.
    static QStringList sizeItems(std::optional<quint64> freeBytes);
    // The tool's size argument from a size pop-up title: "20GB" → "20G", "Custom..(500MB)" →
    // "500MB", "4.2GB(DVD)" → "4.2G".
    static QString sizeArgument(const QString& title);
    // The progress in one chunk of the create output: the number between the first ":" and the
    // next "."; nothing for "-1" (length unknown) or a chunk without one.
    static std::optional<double> progressFromChunk(const QString& chunk);
    // What the custom size field keeps of a typed text: its leading whole number, at most four
    // digits.
    static QString customSizeText(const QString& typed);
    // "sparsebundle", "sparseimage" or "dmg" for a format pop-up title.
    static QString extensionForFormat(const QString& format);
    // Lists the volume name in the volumes root's .hidden file, once, so file managers hide it.
    static bool hideVolume(const QString& volumeName);

Q_SIGNALS:
    // A creation started by CreateDmgFile has ended: created, failed or cancelled.
    void creationEnded(bool created);

private:
    bool refuse(const QString& title, const QString& text, QObject* window = nullptr);
    bool validateInput(const QString& name, const QString& password, const QString& confirmation);
    void startCreateTask(const QString& sizeArg, const QString& encryption);
    void outPipeDataAvailable();
    void hdiutilAttachDidTerminate(int exitCode, QProcess::ExitStatus exitStatus);
    void finishCreation();
    void failCreation(const QString& toolError);
    void stopTask();
    void removeCreationLeftovers();
    void clearSheet();
    void appendPassword(DiskImageTask& task) const;
    void wipePassword();
    QString selectedTitle(CreateSheetPort::PopUp popUp) const;

    ControlerServices m_services;
    bool m_loaded = false;
    bool m_canceled = false;
    std::unique_ptr<DiskImageTask> m_vaulttask;
    QString m_nsValueName;
    QString m_nsPassWord;
    QString m_nsFilePath;
};
