// Placeholder until the console command lands.
#include <cstdio>

#include "host/cli.h"

int command_console(const CliOptions&) {
    std::fprintf(stderr, "cuebox: console is not built yet\n");
    return 2;
}
