#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zorvane"));
    QApplication::setOrganizationDomain(QStringLiteral("tarnwick.com"));
    MainWindow window;
    window.show();
    return app.exec();
}
