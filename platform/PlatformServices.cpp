#include "platform/PlatformServices.h"

std::unique_ptr<PlatformServices> PlatformServices::createLinux()
{
    return std::make_unique<PlatformServices>();
}
