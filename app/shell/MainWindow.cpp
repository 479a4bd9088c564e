#include "app/shell/MainWindow.h"

#include "ui/SegmentedControl.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QStackedWidget>
#include <QVBoxLayout>

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      m_segbutton(new SegmentedControl({QStringLiteral("Protected Items"), QStringLiteral("Vaults")})),
      m_box(new QStackedWidget)
{
    setWindowTitle(QStringLiteral("Zorvane"));
    setObjectName(QStringLiteral("myMainWindow"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_segbutton, 0, Qt::AlignHCenter);
    layout->addWidget(m_box, 1);
    setCentralWidget(central);
    resize(760, 520);

    QMenu* app = menuBar()->addMenu(QStringLiteral("&Zorvane"));
    app->addAction(QStringLiteral("Preferences…"), QKeySequence::Preferences, this,
                   &MainWindow::preferencesRequested);
    app->addAction(QStringLiteral("Uninstall Zorvane…"), this, &MainWindow::uninstallRequested);
    app->addSeparator();
    app->addAction(QStringLiteral("Quit"), QKeySequence::Quit, this, &MainWindow::quitRequested);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Zorvane Online Help"), QKeySequence::HelpContents, this,
                    &MainWindow::onlineHelpRequested);
    help->addAction(QStringLiteral("Frequently Asked Questions"), this, &MainWindow::onlineFaqsRequested);
    help->addAction(QStringLiteral("How to Uninstall"), this, &MainWindow::uninstallHelpRequested);
    help->addAction(QStringLiteral("Send Feedback"), this, &MainWindow::feedbackRequested);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing the main window quits Zorvane, through the same guard as Quit.
    event->ignore();
    Q_EMIT quitRequested();
}
