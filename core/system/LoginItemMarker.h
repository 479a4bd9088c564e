#pragma once

#include <QString>

// The argument that autostart entries put after the program on their Exec line, so a program
// can tell that it was started at login.
inline const QString kLoginItemMarker = QStringLiteral("--launched-as-login-item");
