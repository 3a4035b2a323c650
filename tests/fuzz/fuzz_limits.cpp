// Fuzz target: a limits file of any content, parsed as sonalyx-measure
// parses it. A text is either refused with a message, or gives limits whose
// curve rows ascend in frequency with no lower bound above its upper one,
// every line of which is accounted for, and whose bounds between two rows
// stay between the rows' own bounds.
#include "measurement/limits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "limits fuzz: %s\n", what);
        std::abort();
    }
}

bool Within(double v, double a, double b)
{
    const double slack = 1e-9 * (1.0 + std::abs(a) + std::abs(b));
    return v >= std::min(a, b) - slack && v <= std::max(a, b) + slack;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    measure::Limits limits;
    std::string error;
    if (!limits.Parse(text, error)) {
        Require(!error.empty(), "a refused file without a message");
        return 0;
    }
    const std::vector<measure::LimitRow> &rows = limits.Rows();
    Require(!limits.Lines().empty(), "accepted limits without a line");
    const auto curveLines =
        std::count_if(limits.Lines().begin(), limits.Lines().end(),
                      [](const measure::LimitLine &l) { return l.Kind == measure::LimitKind::Curve; });
    Require(std::size_t(curveLines) == rows.size(), "curve rows and their lines disagree");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const measure::LimitRow &r = rows[i];
        Require(std::isfinite(r.FrequencyHz) && r.FrequencyHz > 0.0, "a row at no frequency");
        Require(i == 0 || r.FrequencyHz > rows[i - 1].FrequencyHz, "rows not ascending");
        Require(!(r.Lower && r.Upper) || *r.Lower <= *r.Upper, "a lower bound above the upper one");
        const measure::LimitRow at = limits.BoundsAt(r.FrequencyHz);
        Require(at.Lower == r.Lower && at.Upper == r.Upper, "a row's own bounds are not its bounds");
        if (i + 1 < rows.size()) {
            const measure::LimitRow &n = rows[i + 1];
            const double mid = std::sqrt(r.FrequencyHz) * std::sqrt(n.FrequencyHz);
            const measure::LimitRow b = limits.BoundsAt(mid);
            if (b.Lower)
                Require(r.Lower && n.Lower && Within(*b.Lower, *r.Lower, *n.Lower), "a lower bound beyond its rows");
            if (b.Upper)
                Require(r.Upper && n.Upper && Within(*b.Upper, *r.Upper, *n.Upper), "an upper bound beyond its rows");
        }
    }
    if (!rows.empty()) {
        // Outside the rows nothing is checked.
        Require(limits.CurvePasses(rows.front().FrequencyHz / 2.0, 1e300), "a level below the first row was checked");
        Require(limits.CurvePasses(rows.back().FrequencyHz * 2.0, -1e300), "a level above the last row was checked");
    }
    for (const std::optional<double> &v : {limits.ThdNMax, limits.LevelMin, limits.LevelMax})
        Require(!v || std::isfinite(*v), "a bound that is not a number");
    return 0;
}
