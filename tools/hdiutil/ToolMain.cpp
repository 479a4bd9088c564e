#include "tools/hdiutil/ToolMain.h"

#include <cstdio>

int ToolMain::run(const QStringList& arguments)
{
    std::fprintf(stderr, "hdiutil: %s: verb not recognized\n",
                 arguments.isEmpty() ? "" : arguments.first().toLocal8Bit().constData());
    return 1;
}
