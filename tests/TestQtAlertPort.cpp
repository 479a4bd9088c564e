#include "ui/QtAlertPort.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestQtAlertPort : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buttonOrderGivesTheCode_data()
    {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("click");
        QTest::addColumn<int>("expected");
        QTest::newRow("default OK") << QStringList{} << "OK" << 1000;
        QTest::newRow("second") << QStringList{"Cancel", "Exit"} << "Exit" << 1001;
        QTest::newRow("first") << QStringList{"NO", "Yes"} << "NO" << 1000;
    }

    void buttonOrderGivesTheCode()
    {
        QFETCH(QStringList, buttons);
        QFETCH(QString, click);
        QFETCH(int, expected);
        QWidget window;
        window.show();
        QString accessorySeen;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text().startsWith(QStringLiteral("We strongly")))
                    accessorySeen = label->font().family();
            }
            for (QAbstractButton* b : box->buttons()) {
                if (b->text() == click)
                    b->click();
            }
        });
        QtAlertPort port;
        Alert alert(QStringLiteral("Exit?"), QStringLiteral("Sure?"), buttons);
        alert.accessoryText = QStringLiteral("We strongly recommend that you wait.");
        alert.accessoryFont = QStringLiteral("Tahoma");
        QCOMPARE(port.runAlert(alert, &window), expected);
        QVERIFY(!accessorySeen.isEmpty());
    }
};

QTEST_MAIN(TestQtAlertPort)
#include "TestQtAlertPort.moc"
