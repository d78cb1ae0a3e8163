// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReportMemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using gv::kReportMemoryTunables;
using gv::NextReportMemoryStep;
using Kind = gv::ReportMemoryStep::Kind;

TEST(ReportMemory, StartsAgainOnlyWhenTheUserSetNothing)
{
    struct Case {
        const char* tunables;
        const char* marker;
        Kind kind;
        bool unsetTunables;
    };
    const Case cases[] = {
        {nullptr, nullptr, Kind::StartAgain, false},
        // The user's own settings are theirs: kept, and no second start.
        {"glibc.malloc.check=3", nullptr, Kind::Nothing, false},
        {"", nullptr, Kind::Nothing, false},
        // The second start puts back what the first one changed, and only that.
        {kReportMemoryTunables, "1", Kind::PutBack, true},
        {"glibc.malloc.check=3", "1", Kind::PutBack, false},
        {nullptr, "1", Kind::PutBack, false},
    };
    for (const Case& c : cases) {
        const auto step = NextReportMemoryStep(c.tunables, c.marker);
        SCOPED_TRACE(std::string(c.tunables ? c.tunables : "(unset)") + " / " + (c.marker ? c.marker : "(unset)"));
        EXPECT_EQ(step.kind, c.kind);
        EXPECT_EQ(step.unsetTunables, c.unsetTunables);
        if (c.kind == Kind::StartAgain) {
            EXPECT_EQ(step.tunables, kReportMemoryTunables);
        }
    }
}

TEST(ReportMemory, SecondStartLeavesNothingForTheCommandsItRuns)
{
    ::setenv("GLIBC_TUNABLES", kReportMemoryTunables, 1);
    ::setenv("GV_REPORT_MEMORY", "1", 1);
    char name[] = "test";
    char* argv[] = {name, nullptr};
    gv::StartWithReportMemory(argv);
    EXPECT_EQ(std::getenv("GLIBC_TUNABLES"), nullptr);
    EXPECT_EQ(std::getenv("GV_REPORT_MEMORY"), nullptr);
}
