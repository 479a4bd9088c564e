// Started by the process tests under various names. Modes:
//   sleep              just runs until killed
//   fd PATH            keeps PATH (a file or folder) open
//   cwd PATH           works in the folder PATH
//   mmap PATH          maps the file PATH and closes its descriptor
//   retry-fd PATH      keeps trying to open PATH until it can, then keeps it open
//   fork               starts a child running the same program, prints its pid after "ready"
//   stubborn           ignores SIGTERM
//   login              prints 1 when started as a login item, else 0, and exits
// Prints "ready" once it holds what it should.
#include "core/processes/ProcessInfo.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "sleep";
    const char* path = argc > 2 ? argv[2] : nullptr;
    if (strcmp(mode, "login") == 0) {
        printf("%d\n", ProcessInfo::wasLaunchedAsLoginItem() ? 1 : 0);
        return 0;
    }
    if (chdir("/") != 0)
        return 3;
    if (strcmp(mode, "fd") == 0) {
        if (!path || open(path, O_RDONLY) < 0)
            return 2;
    } else if (strcmp(mode, "cwd") == 0) {
        if (!path || chdir(path) != 0)
            return 2;
    } else if (strcmp(mode, "stubborn") == 0) {
        signal(SIGTERM, SIG_IGN);
    } else if (strcmp(mode, "retry-fd") == 0) {
        while (!path || open(path, O_RDONLY) < 0)
            usleep(20000);
    } else if (strcmp(mode, "fork") == 0) {
        const pid_t child = fork();
        if (child == 0) {
            for (;;)
                pause();
        }
        printf("ready %d\n", int(child));
        fflush(stdout);
        for (;;)
            pause();
    } else if (strcmp(mode, "mmap") == 0) {
        const int fd = path ? open(path, O_RDONLY) : -1;
        if (fd < 0 || mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0) == MAP_FAILED)
            return 2;
        close(fd);
    }
    printf("ready\n");
    fflush(stdout);
    for (;;)
        pause();
}
