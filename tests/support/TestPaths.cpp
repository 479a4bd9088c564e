#include "tests/support/TestPaths.h"

#include <QDir>

bool TestPaths::homeIsPrivate()
{
    return qEnvironmentVariableIsSet("ZV_IN_SESSION") &&
           QDir::homePath().contains(QStringLiteral("zv-test."));
}
