#pragma once

#include <QStringList>

// Entry point of the disk-image tool, callable from tests.
class ToolMain
{
public:
    static int run(const QStringList& arguments);
};
