// The uninstaller's window follows the job it shows, and closing it asks the job first.
#include "uninstaller/UninstallWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QTest>

class TestUninstallerWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tracksTheJob()
    {
        UninstallWindow window;
        window.show();
        auto* status = window.findChild<QLabel*>(QStringLiteral("inforlabel"));
        auto* item = window.findChild<QLabel*>(QStringLiteral("itemlabel"));
        auto* bar = window.findChild<QProgressBar*>(QStringLiteral("progresswindow"));
        QVERIFY(status && item && bar);

        // A scripted job: two items, progress as the copy reports it, then the end.
        struct Step
        {
            QString line;
            int percent, index, count;
        };
        const QList<Step> script = {{QStringLiteral("Decrypt Letters, Please wait.."), 0, 1, 2},
                                    {QString(), 40, 1, 2},
                                    {QString(), 100, 1, 2},
                                    {QStringLiteral("Decrypt Zim, Please wait.."), 10, 2, 2}};
        window.setProgressRunning(true);
        QCOMPARE(bar->maximum(), 0); // busy until the first figure
        for (const Step& step : script) {
            if (!step.line.isEmpty())
                window.setStatusLine(step.line);
            window.setProgress(step.percent, step.index, step.count);
            QCOMPARE(bar->value(), step.percent);
            QCOMPARE(item->text(), QStringLiteral("Item %1 of %2").arg(step.index).arg(step.count));
            QCOMPARE(bar->text(), QStringLiteral("Restoring %1%").arg(step.percent));
        }
        QCOMPARE(status->text(), QStringLiteral("Decrypt Zim, Please wait.."));
        // scripts/demo-uninstaller-window draws the documentation's picture from here.
        if (const QString shot = qEnvironmentVariable("ZV_UNINSTALLER_SCREENSHOT"); !shot.isEmpty()) {
            window.setProgress(45, 2, 3);
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QTest::qWait(300);
            QVERIFY(window.grab().save(shot));
        }
        window.setStatusLine(QStringLiteral("All Done!"));
        window.setProgressRunning(false);
        QCOMPARE(bar->maximum(), 100);
    }

    void closingAsksTheJob_data()
    {
        QTest::addColumn<bool>("allowed");
        QTest::newRow("job says wait") << false;
        QTest::newRow("job says go") << true;
    }

    void closingAsksTheJob()
    {
        QFETCH(bool, allowed);
        UninstallWindow window;
        int asked = 0;
        window.setCloseGuard([&] {
            ++asked;
            return allowed;
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QCOMPARE(asked, 1);
        QCOMPARE(window.isVisible(), !allowed);
    }
};

QTEST_MAIN(TestUninstallerWindow)
#include "TestUninstallerWindow.moc"
