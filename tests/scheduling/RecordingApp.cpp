// A stand-in for the desktop program in runner tests: writes what it was started with to "record.txt" in its
// working folder, and exits with status 7. With the word "--hang" it starts a helper process and then waits
// to be stopped; with "--exit=N" it exits with status N.

#include "base/LineEscape.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    bool hang = false;
    int status = 7;
    std::ofstream out("record.txt", std::ios::binary);
    char cwd[4096];
    out << "cwd=" << (getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?") << "\n";
    for (int i = 1; i < argc; ++i) {
        out << "arg=" << halcyra::escapeLine(argv[i]) << "\n";
        hang = hang || std::strcmp(argv[i], "--hang") == 0;
        if (std::strncmp(argv[i], "--exit=", 7) == 0)
            status = std::atoi(argv[i] + 7);
    }
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "LANG", "TZ", "PATH"}) {
        const char* value = std::getenv(name);
        out << "env:" << name << "=" << (value != nullptr ? value : "<unset>") << "\n";
    }
    out << "pid=" << getpid() << "\n";
    if (hang) {
        const pid_t helper = fork();
        if (helper == 0) {
            for (;;)
                pause();
        }
        out << "helper=" << helper << "\n";
        out.close();
        for (;;)
            pause();
    }
    return status;
}
