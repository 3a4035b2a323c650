// Fuzz target: a result file of any content, read as both programs read it.
// A refused file leaves the document handed in untouched and has a message
// in both languages; an accepted one writes out as text that reads back and
// writes out again as the same text, and its curves go through the
// comparison and the column decimation the diagram uses.
#include "dsp/curvedecimation.h"
#include "measurement/document/curvecomparison.h"
#include "measurement/document/measurementfile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "result file fuzz: %s\n", what);
        std::abort();
    }
}

void CheckCurves(const measure::MeasurementDocument &d)
{
    for (const measure::CurveDefinition &c : d.Curves) {
        const measure::CurvePoints p = measure::PointsOf(d, c);
        Require(p.X.size() == d.Results.Rows && p.Y.size() == d.Results.Rows, "a curve without its rows");
        dsp::ColumnRange columns[64];
        for (const bool log : {true, false}) {
            dsp::DecimateToColumns(p.X.data(), p.Y.data(), p.X.size(), {10.0, 20000.0, log, 64}, columns);
            for (const dsp::ColumnRange &r : columns)
                Require(r.Count == 0 || (r.Min <= r.First && r.First <= r.Max && r.Min <= r.Last && r.Last <= r.Max),
                        "a column's first or last value outside its range");
        }
    }
    const measure::DocumentComparison self = measure::CompareDocuments(d, d, 0.0);
    Require(self.Problem == measure::ComparisonProblem::None || d.Curves.empty(), "a document unlike itself");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    measure::MeasurementDocument d;
    d.Title = "untouched";
    measure::FileError error;
    if (!measure::ParseMeasurementDocument(text, "fuzz", d, error)) {
        Require(!error.ok(), "refused without a reason");
        Require(d.Title == "untouched" && d.Results.Rows == 0 && d.Curves.empty(), "a refused file changed the document");
        Require(!measure::FileErrorText(error, 'D').empty() && !measure::FileErrorText(error, 'E').empty(),
                "a refusal without a message");
        return 0;
    }
    Require(error.ok(), "accepted with an error");
    CheckCurves(d);
    const QByteArray written = measure::DocumentToJson(d);
    measure::MeasurementDocument again;
    const bool read = measure::ParseMeasurementDocument(written, "written", again, error);
    if (!read)
        std::fprintf(stderr, "%s\n%s\n", measure::FileErrorText(error, 'E').c_str(), written.constData());
    Require(read, "a written document does not read back");
    const QByteArray rewritten = measure::DocumentToJson(again);
    if (rewritten != written)
        std::fprintf(stderr, "written:\n%s\nwritten again:\n%s\n", written.constData(), rewritten.constData());
    Require(rewritten == written, "a written document does not write back as it was");
    return 0;
}
