// Oscilloscope sample arrays and their text export (see scopetraces.h).
#include "display/scopetraces.h"

#include "display/diagramcurves.h"
#include "platform/numbers.h"
#include "platform/textfile.h"

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
    std::string text;
    const std::string sep = ExportSeparator(separator);
    const ScopeReadout &r = readout_;
    std::string line;
    line.reserve(96);
    for (int i = 0; i < Count(); ++i) {
        const std::size_t k = std::size_t(i);
        line = platform::FormatNumber(double(x_[k]) * 1000.0, 'f', 3);
        const double mv1 = (double(y1_[k]) - r.Position1) * r.VoltsPerDiv1 * 1000.0;
        line += sep;
        line += platform::FormatNumber(mv1, 'f', 3);
        const double mv2 = (double(y2_[k]) - r.Position2) * r.VoltsPerDiv2 * 1000.0;
        line += sep;
        line += platform::FormatNumber(mv2, 'f', 3);
        line += "\r\n";
        text += line;
    }
    return platform::WriteTextFile(fileName, text);
}

} // namespace display
