// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportMemory.h"

#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace gv {

const char* const kReportMemoryTunables =
    "glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=33554432:glibc.malloc.trim_threshold=536870912";

namespace {

// Set for the second start only: says that GLIBC_TUNABLES is ours.
constexpr const char* kMarker = "GV_REPORT_MEMORY";

} // namespace

ReportMemoryStep NextReportMemoryStep(const char* tunables, const char* marker)
{
    ReportMemoryStep step;
    if (marker) {
        step.kind = ReportMemoryStep::Kind::PutBack;
        step.unsetTunables = tunables && std::strcmp(tunables, kReportMemoryTunables) == 0;
    } else if (!tunables) {
        step.kind = ReportMemoryStep::Kind::StartAgain;
        step.tunables = kReportMemoryTunables;
    }
    return step;
}

void StartWithReportMemory(char* argv[])
{
#if defined(__linux__) && defined(__GLIBC__)
    const ReportMemoryStep step = NextReportMemoryStep(std::getenv("GLIBC_TUNABLES"), std::getenv(kMarker));
    switch (step.kind) {
    case ReportMemoryStep::Kind::Nothing:
        return;
    case ReportMemoryStep::Kind::PutBack:
        if (step.unsetTunables)
            ::unsetenv("GLIBC_TUNABLES");
        ::unsetenv(kMarker);
        return;
    case ReportMemoryStep::Kind::StartAgain:
        if (::setenv("GLIBC_TUNABLES", step.tunables.c_str(), 1) != 0 || ::setenv(kMarker, "1", 1) != 0)
            break;
        ::execv("/proc/self/exe", argv);
        break; // not run again: go on as we are
    }
    ::unsetenv("GLIBC_TUNABLES");
    ::unsetenv(kMarker);
#else
    (void)argv;
#endif
}

} // namespace gv
