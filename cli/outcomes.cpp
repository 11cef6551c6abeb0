#include "outcomes.h"

#include "console.h"
#include "platform.h"

#include <cstdio>

namespace {

struct outcome_report {
    const char *message; // null for none
    int status;
};

// By outcome, in the order of the outcomes.
constexpr outcome_report REPORTS[] = {
    {nullptr, 0},
    {"Warning : Not AviUtl project file?", 0},
    {"Error : Can't open input file.", 1},
    {"Error : Backup file already exists.", 1},
    {"Error : Can't make backup file.", 1},
    {"Error : Input path too long.", 1},
    {"Error : Can't read input file.", 1},
    {"Error : Can't open output file.", 2},
    {"Error : Output path too long.", 2},
    {"Error : Can't write output file.", 2},
    {"Warning : Media paths not blanked.", 0},
};
static_assert(sizeof REPORTS / sizeof REPORTS[0] == MEDIA_NOT_BLANKED + 1, "one report an outcome");

} // namespace

int report_outcome(outcome result, const path_char *path)
{
    const outcome_report &report = REPORTS[result];
    if (report.message == nullptr)
        return report.status;
    if (path != nullptr) {
        print_path(path);
        (void)fputs(" : ", stdout);
    }
    print_line(report.message);
    return report.status;
}
