#include "tools/hdiutil/ToolMain.h"

#include "tools/hdiutil/DiskImageTool.h"
#include "tools/hdiutil/ToolArguments.h"

#include <csignal>
#include <cstdio>

int ToolMain::run(const QStringList& arguments)
{
    // A child that stops reading its input must not take the tool down with it.
    std::signal(SIGPIPE, SIG_IGN);
    QString error;
    const std::optional<ToolArguments> args = ToolArguments::parse(arguments, &error);
    if (!args) {
        std::fprintf(stderr, "hdiutil: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    DiskImageTool tool(0, stdout, stderr);
    return tool.run(*args);
}
