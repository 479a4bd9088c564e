#pragma once

#include <QMainWindow>

class QStackedWidget;
class SegmentedControl;

// Zorvane's main window: the segmented control switching between the protected-items page
// and the vault page, and the container (box) that shows the current page.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    SegmentedControl* segbutton() const { return m_segbutton; }
    QStackedWidget* box() const { return m_box; }

Q_SIGNALS:
    void preferencesRequested();
    void uninstallRequested();
    void quitRequested();
    void onlineHelpRequested();
    void onlineFaqsRequested();
    void uninstallHelpRequested();
    void feedbackRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SegmentedControl* m_segbutton;
    QStackedWidget* m_box;
};
