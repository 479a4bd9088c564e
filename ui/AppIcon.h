#pragma once

#include <QIcon>

// Zorvane's icon: the icon theme's "zorvane" (what the installed menu entry shows), else the
// copy built into the programs.
class AppIcon
{
public:
    static inline const QString kThemeName = QStringLiteral("zorvane");
    static QIcon application();
};
