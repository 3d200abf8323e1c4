// Entry point of korva-tb.
#include "cli/Cli.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    using namespace korva::cli;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(HelpText(i > 1 ? argv[1] : "").c_str(), stdout);
            return EXIT_DONE;
        }
    Options options;
    std::string error;
    if (!ParseOptions(argc - 1, argv + 1, options, error)) {
        std::fprintf(stderr, "korva-tb: %s (korva-tb --help lists the commands)\n", error.c_str());
        return EXIT_USAGE;
    }
    return RunCommand(options);
}
