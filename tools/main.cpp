// cuebox: the panel host on the command line.
#include <cstdio>

#include "tools/cli.h"

int main(int argc, char** argv) {
    CliOptions options;
    std::string error;
    if (!parse_command_line(argc, argv, options, error)) {
        std::fprintf(stderr, "cuebox: %s\n%s", error.c_str(), USAGE);
        return 2;
    }
    if (options.command == "help") {
        std::printf("%s", USAGE);
        return 0;
    }
    use_code_page(options.code_page);
    if (options.module.empty()) options.module = default_module_path(argv[0]);
    make_paths_absolute(options);
    if (options.command == "run") return command_run(options);
    if (options.command == "check") return command_check(options);
    if (options.command == "console") return command_console(options);
    return command_show(options);
}
