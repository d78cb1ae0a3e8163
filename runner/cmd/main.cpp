// The command interpreter the window's command lines go through:
//
//     cmd /c PROGRAM [ARGUMENT...]
//
// runs PROGRAM with the arguments exactly as this process received them
// (the runner has already split the command line; nothing is split,
// unquoted or expanded again, so a file name can never turn into code).
// PROGRAM is looked up in the current folder first, then on PATH; a word
// with a slash is a path. The interpreter replaces itself with the
// program, so the only writers of the output are that program and what
// it starts.

#include "ProgramLookup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitCannotRun = 126;
constexpr int kExitNotFound = 127;

void printUsage()
{
    std::fputs("usage: cmd /c PROGRAM [ARGUMENT...]\n"
               "Runs PROGRAM, looked up in the current folder and then on PATH,\n"
               "with its arguments exactly as given.\n",
               stderr);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || ::strcasecmp(argv[1], "/c") != 0) {
        printUsage();
        return kExitUsage;
    }
    if (argc < 3) {
        std::fputs("cmd: nothing to run after /c\n", stderr);
        printUsage();
        return kExitUsage;
    }

    const char* word = argv[2];
    std::vector<std::string> searchDirs{std::string()};
    for (std::string& dir : gv::pathDirectories())
        searchDirs.push_back(std::move(dir));
    const auto path = gv::findProgram(word, searchDirs);
    if (!path) {
        std::fprintf(stderr, "cmd: '%s' is not a program in the current folder or on the PATH\n", word);
        return kExitNotFound;
    }

    ::execv(path->c_str(), argv + 2);
    const int error = errno;
    std::fprintf(stderr, "cmd: cannot run '%s': %s\n", word, std::strerror(error));
    return kExitCannotRun;
}
