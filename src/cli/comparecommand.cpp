// The compare command of sonalyx-measure: a result file against a reference
// result file of the same kind, curve by curve (measurement/document/
// curvecomparison.h). It prints, at every point of the measurement, the
// level difference to the reference interpolated there over log frequency
// (and the phase difference, wrapped to (-180°, 180°], where both carry
// phase), and judges the level curves against --tolerance: status 0 when
// every compared point is within it, 1 when not, 2 when a file cannot be
// read or the two cannot be compared. Points outside the reference's range
// are listed but not compared; standard error says how many.
#include "cli/commands.h"
#include "cli/commandsupport.h"

#include "measurement/document/curvecomparison.h"
#include "measurement/document/measurementfile.h"
#include "platform/numbers.h"

#include <QJsonDocument>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace cli {

namespace {

constexpr double kDefaultToleranceDb = 1.0;
// Differences are printed to a millionth of a dB or degree: enough for any
// measurement, and free of the last binary digits of a subtraction.
constexpr int kDifferenceDecimals = 6;

measure::MeasurementDocument ReadOrFail(const QString &argument)
{
    measure::MeasurementDocument d;
    measure::FileError error;
    if (!measure::ReadMeasurementFile(LocalFileName(argument), d, error))
        throw CommandError{measure::FileErrorText(error, 'E')};
    return d;
}

// What became of a point: its verdict where its curve is judged.
const char *PointResult(const measure::CurveComparison &c, const measure::DifferencePoint &p, double tolerance)
{
    switch (p.State) {
    case measure::PointComparison::OutsideReference:
        return "outside_reference";
    case measure::PointComparison::NoValue:
        return "no_value";
    case measure::PointComparison::Compared:
        break;
    }
    if (!c.Judged)
        return "unjudged";
    return std::fabs(p.LevelDifference) <= tolerance ? "within" : "outside";
}

// A number for the output, null where there is none.
QJsonValue Value(double v, int decimals = -1)
{
    if (!std::isfinite(v))
        return QJsonValue(QJsonValue::Null);
    return decimals < 0 ? v : Rounded(v, decimals);
}

QByteArray AsCsv(const measure::DocumentComparison &comparison, double tolerance)
{
    QByteArray out = "curve,x,x_unit,level,reference_level,unit,level_difference_db,phase_difference_deg,result\n";
    for (const measure::CurveComparison &c : comparison.Curves)
        for (const measure::DifferencePoint &p : c.Points) {
            const QJsonValue fields[] = {QString::fromStdString(c.Name),
                                         Value(p.X),
                                         QString::fromStdString(c.XUnit),
                                         Value(p.Level),
                                         Value(p.ReferenceLevel, kDifferenceDecimals),
                                         QString::fromStdString(c.YUnit),
                                         Value(p.LevelDifference, kDifferenceDecimals),
                                         Value(p.PhaseDifference, kDifferenceDecimals),
                                         QString(PointResult(c, p, tolerance))};
            QStringList line;
            for (const QJsonValue &v : fields)
                line << (v.isNull() ? QString() : CsvField(v));
            out += (line.join(',') + '\n').toUtf8();
        }
    return out;
}

QByteArray AsJson(const measure::DocumentComparison &comparison, const QStringList &files,
                  const measure::MeasurementDocument &reference, double tolerance, const QStringList &notes)
{
    QJsonArray curves;
    for (const measure::CurveComparison &c : comparison.Curves) {
        QJsonArray points;
        for (const measure::DifferencePoint &p : c.Points)
            points.append(QJsonObject{{"x", Value(p.X)},
                                      {"level", Value(p.Level)},
                                      {"reference_level", Value(p.ReferenceLevel, kDifferenceDecimals)},
                                      {"level_difference_db", Value(p.LevelDifference, kDifferenceDecimals)},
                                      {"phase_difference_deg", Value(p.PhaseDifference, kDifferenceDecimals)},
                                      {"result", PointResult(c, p, tolerance)}});
        const measure::ComparisonSummary &s = c.Summary;
        QJsonObject curve{{"name", QString::fromStdString(c.Name)},
                          {"x_unit", QString::fromStdString(c.XUnit)},
                          {"unit", QString::fromStdString(c.YUnit)},
                          {"judged", c.Judged},
                          {"phase", c.HasPhase},
                          {"reference_from", Value(c.ReferenceLowX)},
                          {"reference_to", Value(c.ReferenceHighX)},
                          {"compared", static_cast<qint64>(s.Compared)},
                          {"outside_reference", static_cast<qint64>(s.OutsideReference)},
                          {"no_value", static_cast<qint64>(s.NoValue)},
                          {"outside_tolerance", static_cast<qint64>(s.OutsideTolerance)},
                          {"points", points}};
        if (s.Compared > 0) {
            curve.insert("largest_difference_db", Value(s.LargestDifference, kDifferenceDecimals));
            curve.insert("largest_at", Value(s.LargestAtX));
        }
        if (c.Judged)
            curve.insert("pass", s.Pass);
        curves.append(curve);
    }
    const QJsonObject doc{{"reference", files.value(0)},
                          {"measurement", files.value(1)},
                          {"kind", measure::KindName(reference.Kind)},
                          {"tolerance_db", tolerance},
                          {"pass", comparison.Pass},
                          {"curves", curves},
                          {"notes", QJsonArray::fromStringList(notes)}};
    return QJsonDocument(doc).toJson(QJsonDocument::Indented);
}

// "2 dB at 1000 Hz": a difference and where it is.
std::string Where(double difference, double x, const std::string &unit)
{
    return platform::FormatNumber(Rounded(difference, 3), 'g', 12) + " dB at " + platform::FormatNumber(x, 'g', 12) +
           " " + unit;
}

} // namespace

int RunCompare(const QStringList &arguments)
{
    QCommandLineParser p;
    p.addOptions({
        {"tolerance", "Largest level difference in dB that passes (default 1).", "db"},
        {"format", "Output form: csv or json (default csv).", "form", "csv"},
    });
    p.addPositionalArgument("REFERENCE", "The reference result file (.sonalyx.json), e.g. the golden unit's.");
    p.addPositionalArgument("MEASUREMENT", "The result file compared with it, of the same kind.");
    if (!ParseArguments(p, arguments,
                        "Compares a result file with a reference: the level difference (and the phase difference "
                        "where both carry phase) at the measurement's points, the reference interpolated over log "
                        "frequency. Exit status 0 when every compared level is within the tolerance, 1 when not, "
                        "2 when a file cannot be read or the two cannot be compared.",
                        2))
        return kPass;
    const double tolerance = RealOption(p, "tolerance", kDefaultToleranceDb, 0.0, 1000.0);
    const bool json = ChoiceOption(p, "format", {"csv", "json"}, 0) == 1;
    const QStringList files = p.positionalArguments();
    const measure::MeasurementDocument reference = ReadOrFail(files[0]);
    const measure::MeasurementDocument measurement = ReadOrFail(files[1]);

    const measure::DocumentComparison comparison = measure::CompareDocuments(reference, measurement, tolerance);
    if (comparison.Problem == measure::ComparisonProblem::KindsDiffer)
        throw CommandError{measure::ComparisonProblemText(comparison, 'E')};
    if (!measure::KindHasCurves(reference.Kind))
        throw CommandError{std::string("results of kind \"") + measure::KindName(reference.Kind) +
                           "\" hold no curves to compare; compare takes results of kind spectrum, sweep, logsweep, "
                           "distortion_frequency and distortion_level"};
    if (comparison.Problem != measure::ComparisonProblem::None)
        throw CommandError{measure::ComparisonProblemText(comparison, 'E')};

    // What was not compared goes to standard error, and into the JSON.
    QStringList notes;
    std::size_t failed = 0, judged = 0;
    for (const measure::CurveComparison &c : comparison.Curves) {
        if (const std::string text = measure::OutsideReferenceText(c, 'E'); !text.empty())
            notes << QString::fromStdString(text);
        if (c.Judged && c.Summary.Compared == 0)
            notes << QString::fromStdString("no point of the curve \"" + c.Name +
                                            "\" could be compared with the reference, so it does not pass");
        if (c.Judged) {
            failed += c.Summary.OutsideTolerance;
            judged += c.Summary.Compared;
        }
    }
    for (const QString &note : notes)
        Warn(TerminalSafe(note.toStdString()));

    WriteOut(json ? AsJson(comparison, files, reference, tolerance, notes) : AsCsv(comparison, tolerance));
    if (!comparison.Pass && failed == 0) {
        std::fprintf(stderr, "FAIL: a curve has no point that could be compared with the reference\n");
    } else if (!comparison.Pass) {
        std::string largest;
        for (const measure::CurveComparison &c : comparison.Curves)
            if (c.Judged && c.Summary.OutsideTolerance > 0)
                largest += "; curve \"" + c.Name + "\": largest " +
                           Where(c.Summary.LargestDifference, c.Summary.LargestAtX, c.XUnit);
        std::fprintf(stderr, "FAIL: %zu of %zu compared point(s) differ by more than %s dB%s\n", failed, judged,
                     platform::FormatNumber(tolerance, 'g', 12).c_str(), TerminalSafe(largest).c_str());
    }
    return comparison.Pass ? kPass : kFail;
}

} // namespace cli
