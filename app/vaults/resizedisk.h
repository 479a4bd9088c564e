#pragma once

#include <QDialog>
#include <QString>

class AlertPort;
class NotificationCenter;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// What the resize dialog works with; both are required.
struct ResizeServices
{
    AlertPort* alerts = nullptr;
    NotificationCenter* local = nullptr;
};

// The resize dialog ("resize"): a new capacity for a locked vault, opened from any page. It runs
// the tool's "resize" and reports back by notification: "ResizeReload" to the vault list (caller
// 0), "ReadCapacity" to the protect job and the scan (callers 1 and 2).
class resizedisk : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kCallerVaultList = 0;

    explicit resizedisk(const ResizeServices& services, QWidget* parent = nullptr);
    ~resizedisk() override;

    // Opens a dialog as a sheet on parent (window-modal, without blocking) with setPriority's
    // values; it goes away when it closes.
    static resizedisk* showSheet(const ResizeServices& services, QWidget* parent, const QString& oldSize,
                                 const QString& newSize, const QString& filePath, const QString& libPath,
                                 const QString& password, int newType, int callId, int tableIndex);

    void setPriority(const QString& oldSize, const QString& newSize, const QString& filePath,
                     const QString& libPath, const QString& password, int newType, int callId,
                     int tableIndex);
    // Shows the values set: the old size, the proposed new size and the unit.
    void awakeFromNib();
    // Keeps the leading whole number of the typed size, at most four digits.
    void controlTextDidChange();
    void clickok();
    void clickcancel();

    QComboBox* PopupTypeButton() const { return m_popupTypeButton; }
    QLineEdit* CustomSize() const { return m_customSize; }
    QLineEdit* OriSize() const { return m_oriSize; }
    QProgressBar* progresswindow() const { return m_progresswindow; }
    QDialog* myWindow() { return this; }
    QPushButton* okButton() const { return m_ok; }

    QString OldSize() const { return m_oldSize; }
    void setOldSize(const QString& value) { m_oldSize = value; }
    QString NewSize() const { return m_newSize; }
    void setNewSize(const QString& value) { m_newSize = value; }
    QString FilePath() const { return m_filePath; }
    void setFilePath(const QString& value) { m_filePath = value; }
    QString PassWord() const { return m_passWord; }
    void setPassWord(const QString& value);
    QString LibPath() const { return m_libPath; }
    void setLibPath(const QString& value) { m_libPath = value; }
    int NewType() const { return m_newType; }
    void setNewType(int value) { m_newType = value; }
    int CallForIM() const { return m_callForIM; }
    void setCallForIM(int value) { m_callForIM = value; }
    int tableIndex() const { return m_tableIndex; }
    void setTableIndex(int value) { m_tableIndex = value; }

protected:
    void done(int result) override;

private:
    void wipePassword();

    ResizeServices m_services;
    QLabel* m_heading = nullptr;
    QComboBox* m_popupTypeButton = nullptr;
    QLineEdit* m_customSize = nullptr;
    QLineEdit* m_oriSize = nullptr;
    QProgressBar* m_progresswindow = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;

    QString m_oldSize;
    QString m_newSize;
    QString m_filePath;
    QString m_passWord;
    QString m_libPath;
    int m_newType = 0;
    int m_callForIM = 0;
    int m_tableIndex = 0;
};
