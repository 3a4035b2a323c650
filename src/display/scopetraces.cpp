// Oscilloscope sample arrays and their text export (see scopetraces.h).
#include "display/scopetraces.h"

#include "display/diagramcurves.h"
#include "platform/numbers.h"

#include <cerrno>
#include <cstdio>

namespace display {

void ScopeTraces::Setup(int count)
{
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    x_.assign(n, 0.0f);
    y1_.assign(n, 0.0f);
    y2_.assign(n, 0.0f);
    allocated_ = true;
}

void ScopeTraces::StorePoint(int index, const ScopeReadout &readout, float x, float y2, float y1)
{
    if (!allocated_ || index < 0 || index >= Count())
        return;
    x_[std::size_t(index)] = x;
    y1_[std::size_t(index)] = y1;
    y2_[std::size_t(index)] = y2;
    readout_ = readout;
}

int ScopeTraces::SaveAsText(const std::string &fileName, const std::string &separator) const
{
    if (!allocated_)
        return kNoScopeArraysError;
    errno = 0;
    std::FILE *file = std::fopen(fileName.c_str(), "wb");
    if (!file)
        return errno != 0 ? errno : EIO;
    const std::string sep = ExportSeparator(separator);
    const ScopeReadout &r = readout_;
    bool failed = false;
    std::string line;
    line.reserve(96);
    for (int i = 0; i < Count() && !failed; ++i) {
        const std::size_t k = std::size_t(i);
        line = platform::FormatNumber(double(x_[k]) * 1000.0, 'f', 3);
        const double mv1 = (double(y1_[k]) - r.Position1) * r.VoltsPerDiv1 * 1000.0;
        line += sep;
        line += platform::FormatNumber(mv1, 'f', 3);
        const double mv2 = (double(y2_[k]) - r.Position2) * r.VoltsPerDiv2 * 1000.0;
        line += sep;
        line += platform::FormatNumber(mv2, 'f', 3);
        line += "\r\n";
        failed = std::fwrite(line.data(), 1, line.size(), file) != line.size();
    }
    int error = failed ? (errno != 0 ? errno : EIO) : 0;
    if (std::fclose(file) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    return error;
}

} // namespace display
