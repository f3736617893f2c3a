// cuebox: the panel host on the command line.
#include <cstdio>

#include "tools/cli.h"

#if defined(_WIN32) && defined(_WIN64)
#define CUEBOX_PLATFORM_NAME "64-bit Windows"
#elif defined(_WIN32)
#define CUEBOX_PLATFORM_NAME "32-bit Windows"
#else
#define CUEBOX_PLATFORM_NAME "Linux"
#endif

int main(int argc, char** argv) {
    // Alone, cuebox says how to use it rather than run `show` unasked.
    if (argc < 2) {
        std::printf("%s", USAGE);
        return 0;
    }
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
    if (options.command == "version") {
        std::printf("cuebox %s, %s build; loads %s unless --module names another\n", CUEBOX_VERSION,
                    CUEBOX_PLATFORM_NAME, default_module_path(argv[0]).c_str());
        return 0;
    }
    if (options.module.empty()) options.module = default_module_path(argv[0]);
    make_paths_absolute(options);
    if (options.command == "run") return command_run(options);
    if (options.command == "check") return command_check(options);
    if (options.command == "console") return command_console(options);
    if (options.command == "serve") return command_serve(options);
    return command_show(options);
}
