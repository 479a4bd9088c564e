#pragma once

#include <QString>

// Creates a symbolic link at linkPath whose content is targetPath. 1 on success; 0 when anything
// reachable already occupies linkPath or the link can't be made. Note the order: link first.
int MakeSymbolicLink(const char* linkPath, const char* targetPath);
int MakeSymbolicLink(const QString& linkPath, const QString& targetPath);
