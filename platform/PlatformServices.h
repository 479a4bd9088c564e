#pragma once

#include <memory>

// The OS services a program uses, each behind its own interface in this folder. Programs
// create the Linux set at start; tests build one from fakes and real parts as they need.
struct PlatformServices
{
    static std::unique_ptr<PlatformServices> createLinux();
};
