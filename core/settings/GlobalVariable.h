#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>

// Process-wide flags of the main application, created on first use.
class GlobalVariable
{
public:
    static GlobalVariable& sharedInstance();

    // True while a file operation runs: the item page's jobs (setScanProgress) or any job that
    // registered itself with beginFileOperation.
    bool getScanProgress() const { return m_scanProgress || m_fileOperations > 0; }
    void setScanProgress(bool value) { m_scanProgress = value; }
    // Counted, so a job of one page ending can't clear the flag while another page's job runs.
    void beginFileOperation() { ++m_fileOperations; }
    void endFileOperation() { --m_fileOperations; }
    bool getItem2Flag() const { return m_item2Flag; }
    void setItem2Flag(bool value) { m_item2Flag = value; }
    QObject* getTipWindow() const { return m_tipWindow; }
    void setTipWindow(QObject* window) { m_tipWindow = window; }
    bool getRebootFlag() const { return m_rebootFlag; }
    void setRebootFlag(bool value) { m_rebootFlag = value; }

private:
    GlobalVariable() = default;

    // Set by file-operation threads, read on the main thread.
    std::atomic<bool> m_scanProgress{false};
    std::atomic<int> m_fileOperations{0};
    std::atomic<bool> m_item2Flag{false};
    QPointer<QObject> m_tipWindow;
    std::atomic<bool> m_rebootFlag{false};
};
