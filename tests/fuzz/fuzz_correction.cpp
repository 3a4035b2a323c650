// Fuzz target: a correction file of any content, read as the program reads
// it. A file is either refused or gives a curve that passes through each of
// its points and is finite between and around them; a refused file leaves
// the curve empty.
#include "dsp/correction.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void Require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "correction fuzz: %s\n", what);
        std::abort();
    }
}

// In a folder of its own that mkdtemp creates: no name anyone could guess.
const std::string &ScratchFile()
{
    static const std::string name = [] {
        const char *dir = std::getenv("TMPDIR");
        std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/sonalyx-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern + "/curve.cor";
    }();
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    dsp::SetCorrectionMessageSink([](const std::string &, dsp::MessageKind) {});
    const std::string text(reinterpret_cast<const char *>(data), size);
    {
        std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
        out << text;
    }
    dsp::CorrectionCurve curve;
    if (!curve.loadFromFile(ScratchFile())) {
        Require(curve.count() == 0 && !curve.active(), "a refused file left points behind");
        return 0;
    }
    const std::vector<dsp::CorrectionPoint> p = curve.points();
    Require(!p.empty() && curve.fileName() == ScratchFile(), "a loaded curve without points or name");
    for (std::size_t i = 0; i < p.size(); ++i) {
        const double s = curve.evaluate(p[i].x);
        Require(std::abs(s - p[i].y) <= 1e-6 * (1.0 + std::abs(p[i].y)) || (i + 1 == p.size() && std::isfinite(s)),
                "the curve misses one of its points");
        if (i + 1 < p.size())
            Require(std::isfinite(curve.evaluate(0.5 * (p[i].x + p[i + 1].x))), "the curve is not finite between points");
    }
    for (double f : {1.0, 1000.0, 28000.0})
        Require(std::isfinite(curve.evaluate(f)), "the curve is not finite where the program draws it");
    return 0;
}
