// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace gv {

// The window keeps the whole report, in buffers that grow by megabytes while
// it streams in. With the C library's usual settings on Linux each grown
// buffer is fresh memory, paged in 4 KiB at a time (a fault each, which on a
// virtual machine costs more than filling the page), and memory freed on the
// way is handed back to the system only to be asked for again: at 30 MB of
// report that was most of the window's own processor time. The program
// therefore runs with its allocator (glibc's) told to back large areas with
// huge pages where the system gives them on request, to keep freed memory
// for reuse, and to serve blocks of up to 32 MiB from it.
//
// The allocator reads those settings (GLIBC_TUNABLES) only as a process
// starts: the first start sets them and runs the same program again in the
// same process; that run puts the environment back as it was, so the
// commands it runs inherit nothing of it. Settings the user gave
// (GLIBC_TUNABLES already set) are left alone. Returns once the program runs
// as it will; where it cannot be run again, it runs as it is.
void StartWithReportMemory(char* argv[]);

// What StartWithReportMemory() does, given the two variables it reads (null
// when unset): start again with `tunables` set, put the environment back
// (and unset GLIBC_TUNABLES when `unsetTunables`), or nothing.
struct ReportMemoryStep {
    enum class Kind { Nothing, StartAgain, PutBack } kind = Kind::Nothing;
    std::string tunables;
    bool unsetTunables = false;
};
ReportMemoryStep NextReportMemoryStep(const char* tunables, const char* marker);

// The settings, as GLIBC_TUNABLES spells them.
extern const char* const kReportMemoryTunables;

} // namespace gv
