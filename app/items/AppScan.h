#pragma once

#include "app/items/scantableviewmodel.h"
#include "core/catalogue/ScanCandidates.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <atomic>
#include <memory>
#include <optional>

class ScanSheetPort;
class QTimer;
class item1;
class scanappwindow;

// The application scan of the protected-items page: lists the catalogue's applications whose
// data is here and unprotected, measures them off the window's thread (rows appear in catalogue
// order as their sizes arrive), and protects the ticked ones into one vault through the protect
// job, after the checks and the daemon rules of the scan.
class AppScan : public QObject
{
    Q_OBJECT
public:
    static constexpr int kProgressMs = 200;

    AppScan(item1& page, ScanSheetPort& port);
    ~AppScan() override;

    // Builds the list and shows the sheet at once; the sizes follow.
    void ClickScanApp();
    // Validates the ticked rows and starts their jobs.
    void ClickScanAppOK();
    // Stops the measuring at once and closes the sheet.
    void ClickScanAppCancel();

    scanappwindow* window() const { return m_window; }
    const QList<scantableviewmodel>& scantablelist() const { return m_scantablelist; }
    bool isMeasuring() const { return m_pass != nullptr; }

Q_SIGNALS:
    void scantablelistChanged();
    // The size pass has ended (every size arrived, or it was cancelled).
    void passEnded();

private:
    struct Pass
    {
        std::atomic<bool> cancelled{false};
        std::atomic<quint64> files{0};
        std::atomic<quint64> bytes{0};
    };

    void sizeArrived(const std::shared_ptr<Pass>& pass, int index, quint64 size);
    void showProgress();
    void endPass();
    void stopPass();
    void syncChecks();
    bool prepare(const QList<scantableviewmodel>& ticked, QStringList* processNames);

    item1& m_page;
    ScanSheetPort& m_port;
    scanappwindow* m_window = nullptr;
    QTimer* m_progress = nullptr;
    QList<scantableviewmodel> m_scantablelist;
    QList<ScanCandidate> m_candidates;
    QList<std::optional<quint64>> m_sizes;
    int m_shown = 0; // candidates before this one have been placed (or left out)
    std::shared_ptr<Pass> m_pass;
};
