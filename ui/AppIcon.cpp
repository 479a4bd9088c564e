#include "ui/AppIcon.h"

QIcon AppIcon::application()
{
    QIcon own;
    for (const int size : {48, 128})
        own.addFile(QStringLiteral(":/zorvane/zorvane-%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(kThemeName, own);
}
