// Runs sonalyx-measure as a program: its exit status, standard output and
// standard error, the last through a file in the test's scratch folder.
#pragma once

#include "support/testsupport.h"

#include <string>

namespace testsupport {

struct MeasureResult {
    int status = -1;
    std::string out, err;
};

inline MeasureResult RunMeasure(const std::string &dir, const std::string &arguments)
{
    const std::string err = dir + "/stderr.txt";
    MeasureResult r;
    r.status = RunShell(std::string(SONALYX_MEASURE_EXE) + " " + arguments + " 2>" + err, r.out);
    r.err = ReadFile(err);
    return r;
}

} // namespace testsupport
