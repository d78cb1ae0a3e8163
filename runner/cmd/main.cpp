// SPDX-License-Identifier: GPL-3.0-or-later
// The command interpreter the window's command lines go through:
//
//     cmd /c PROGRAM [ARGUMENT...]
//
// runs PROGRAM with the arguments exactly as this process received them
// (the runner has already split the command line; nothing is split,
// unquoted or expanded again, so a file name can never turn into code).
// PROGRAM is looked up in the current folder only, never on PATH: the
// window starts every command in the folder it deployed the identifier
// to, so "vonk" can only be the identifier it wrote there, not one that
// PATH happens to offer. A word with a slash is a path. The interpreter
// replaces itself with the program, so the only writers of the output are
// that program and what it starts.

#include "ProgramLookup.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitCannotRun = 126;
constexpr int kExitNotFound = 127;

void printUsage()
{
    std::fputs("usage: cmd /c PROGRAM [ARGUMENT...]\n"
               "Runs PROGRAM, looked up in the current folder only (a name with\n"
               "a slash is a path), with its arguments exactly as given.\n",
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
    const auto path = gv::findProgram(word, {std::string()});
    if (!path) {
        std::fprintf(stderr, "cmd: '%s' is not a program in the current folder\n", word);
        return kExitNotFound;
    }

    ::execv(path->c_str(), argv + 2);
    const int error = errno;
    std::fprintf(stderr, "cmd: cannot run '%s': %s\n", word, std::strerror(error));
    return kExitCannotRun;
}
