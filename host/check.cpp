// Placeholder until the check command lands.
#include <cstdio>

#include "host/cli.h"

int command_check(const CliOptions&) {
    std::fprintf(stderr, "cuebox: check is not built yet\n");
    return 2;
}
