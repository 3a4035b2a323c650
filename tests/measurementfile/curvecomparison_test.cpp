// Curves against a reference: interpolation over log frequency and over a
// linear axis, phases wrapped and interpolated the short way round, points
// outside the reference, and two result documents compared with a
// tolerance. Expected values are worked out by hand in the comments.
#include "measurement/document/curvecomparison.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace measure;

const double kNaN = std::nan("");

TEST(CurveComparison, WrapsPhaseDifferencesToTheHalfOpenCircle)
{
    const double cases[][2] = {{180, 180}, {-180, 180}, {540, 180}, {181, -179}, {-181, 179},
                               {359.5, -0.5}, {720, 0},   {-90, -90},  {-539, -179}};
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(WrapDegrees(c[0]), c[1]) << c[0];
}

// Reference 100 Hz: 0 dB, 170°; 1 kHz: -6 dB, -170°; 10 kHz: -6 dB, 10°.
TEST(CurveComparison, InterpolatesTheReferenceOverLogFrequency)
{
    const double x[] = {100, 1000, 10000}, level[] = {0, -6, -6}, phase[] = {170, -170, 10};
    const ReferenceCurve ref(x, level, phase, 3, true);
    double l = 0, p = 0;
    // 316.23 Hz lies halfway on the log scale: -3 dB; 170° + 0.5·20° = 180°.
    ASSERT_TRUE(ref.At(std::sqrt(1e5), l, p));
    EXPECT_NEAR(l, -3.0, 1e-12);
    EXPECT_NEAR(p, 180.0, 1e-9);
    // 200 Hz: t = log10 2 = 0.30103: -1.80618 dB, 176.0206°.
    ASSERT_TRUE(ref.At(200, l, p));
    EXPECT_NEAR(l, -6 * 0.3010299957, 1e-9);
    EXPECT_NEAR(p, 170 + 20 * 0.3010299957, 1e-8);
    // 2 kHz: -6 dB; -170° + 0.30103·180° = -115.8146°.
    ASSERT_TRUE(ref.At(2000, l, p));
    EXPECT_NEAR(l, -6.0, 1e-12);
    EXPECT_NEAR(p, -170 + 180 * 0.3010299957, 1e-8);
    // Ends: within a millionth they count as the end point, beyond not.
    EXPECT_TRUE(ref.At(10000.005, l, p));
    EXPECT_DOUBLE_EQ(l, -6.0);
    EXPECT_FALSE(ref.At(10001, l, p));
    EXPECT_FALSE(ref.At(99, l, p));
    EXPECT_FALSE(ref.At(0, l, p));
}

TEST(CurveComparison, InterpolatesLinearlyOnALevelAxisAndOrdersTheReference)
{
    // A distortion curve over the stimulus level, given out of order, with a
    // point without value and a repeated x (the later value counts).
    const double x[] = {-20, -60, -40, -50, -20}, y[] = {-40, -90, -80, kNaN, -50};
    const ReferenceCurve ref(x, y, nullptr, 5, false);
    EXPECT_FALSE(ref.HasPhase());
    EXPECT_DOUBLE_EQ(ref.LowX(), -60.0);
    double l = 0, p = 0;
    ASSERT_TRUE(ref.At(-50, l, p)); // halfway between -90 and -80
    EXPECT_NEAR(l, -85.0, 1e-12);
    EXPECT_TRUE(std::isnan(p));
    ASSERT_TRUE(ref.At(-25, l, p)); // -80 + 0.75·(-50 + 80)
    EXPECT_NEAR(l, -57.5, 1e-12);
}

TEST(CurveComparison, DifferenceSaysWhichPointsWereCompared)
{
    const double x[] = {100, 1000, 10000}, level[] = {0, -6, -6}, phase[] = {170, -170, 10};
    const ReferenceCurve ref(x, level, phase, 3, true);
    // The diagram's live curve comes as floats.
    const float mx[] = {50.0f, 316.227766f, 1000.0f, 5000.0f, 20000.0f};
    const float ml[] = {1.0f, -2.5f, -6.25f, kNaN, 0.0f};
    const float mp[] = {0.0f, -175.0f, 170.0f, 0.0f, 0.0f};
    DifferencePoint out[5];
    DifferenceToReference(ref, mx, ml, mp, 5, out);
    EXPECT_EQ(out[0].State, PointComparison::OutsideReference);
    EXPECT_TRUE(std::isnan(out[0].LevelDifference));
    EXPECT_EQ(out[1].State, PointComparison::Compared);
    EXPECT_NEAR(out[1].LevelDifference, 0.5, 1e-5);   // -2.5 - (-3)
    EXPECT_NEAR(out[1].PhaseDifference, 5.0, 1e-4);   // -175° - 180° = -355° -> 5°
    EXPECT_NEAR(out[2].LevelDifference, -0.25, 1e-6);
    EXPECT_NEAR(out[2].PhaseDifference, -20.0, 1e-4); // 170° - (-170°) = 340° -> -20°
    EXPECT_EQ(out[3].State, PointComparison::NoValue);
    EXPECT_EQ(out[4].State, PointComparison::OutsideReference);

    // Without phase on one side there is no phase difference.
    DifferenceToReference(ref, mx, ml, nullptr, 3, out);
    EXPECT_TRUE(std::isnan(out[1].PhaseDifference));
}

MeasurementDocument Sweep(const std::vector<double> &f, const std::vector<double> &level,
                          const std::vector<double> &phase, MeasurementKind kind = MeasurementKind::Sweep)
{
    MeasurementDocument d;
    d.Kind = kind;
    const std::size_t cf = d.Results.AddNumberColumn("frequency_hz");
    const std::size_t cl = d.Results.AddNumberColumn("level_db");
    const std::size_t cp = d.Results.AddNumberColumn("phase_deg");
    const std::size_t ch = d.Results.AddNumberColumn("h2_db");
    for (std::size_t i = 0; i < f.size(); ++i) {
        const std::size_t r = d.Results.AddRow();
        d.Results.Set(r, cf, f[i]);
        d.Results.Set(r, cl, level[i]);
        d.Results.Set(r, cp, phase.empty() ? kNaN : phase[i]);
        d.Results.Set(r, ch, -60.0 - 10.0 * static_cast<double>(i));
    }
    d.Curves.push_back({"level", "level", "right", 0, "frequency_hz", "Hz", "level_db", "dB",
                        phase.empty() ? "" : "phase_deg"});
    d.Curves.push_back({"H2", "harmonic", "right", 2, "frequency_hz", "Hz", "h2_db", "dB", ""});
    return d;
}

TEST(CurveComparison, DocumentsPassWhenEveryComparedLevelIsWithinTheTolerance)
{
    const MeasurementDocument ref = Sweep({20, 200, 2000, 20000}, {0, 0, 0, 0}, {0, 0, 0, 0});
    // 632.46 Hz lies between 200 Hz and 2 kHz; 10 Hz and 30 kHz lie outside.
    // The H2 curve differs by 10..30 dB but carries no verdict.
    MeasurementDocument m = Sweep({10, 20, std::sqrt(4e5), 20000, 30000}, {5, 0.4, -0.5, 0.6, 9}, {});
    m.Results.Columns[3].Numbers = {-40, -40, -40, -40, -40};

    DocumentComparison c = CompareDocuments(ref, m, 0.5);
    ASSERT_EQ(c.Problem, ComparisonProblem::None);
    ASSERT_EQ(c.Curves.size(), 2u);
    const CurveComparison &level = c.Curves[0];
    EXPECT_TRUE(level.Judged);
    EXPECT_FALSE(level.HasPhase);
    EXPECT_EQ(level.Summary.Compared, 3u);
    EXPECT_EQ(level.Summary.OutsideReference, 2u);
    EXPECT_EQ(level.Summary.OutsideTolerance, 1u); // 0.6 dB at 20 kHz
    EXPECT_DOUBLE_EQ(level.Summary.LargestDifference, 0.6);
    EXPECT_DOUBLE_EQ(level.Summary.LargestAtX, 20000.0);
    EXPECT_FALSE(c.Pass);
    EXPECT_FALSE(c.Curves[1].Judged);
    EXPECT_EQ(OutsideReferenceText(level, 'E'),
              "2 points of the curve \"level\" lie outside the reference's range (20 Hz to 20000 Hz) and were not "
              "compared.");
    EXPECT_EQ(OutsideReferenceText(level, 'D'),
              "2 Punkte der Kurve \u201elevel\u201c liegen au\u00dferhalb des Bereichs der Referenz (20 Hz bis "
              "20000 Hz) und wurden nicht verglichen.");

    EXPECT_TRUE(CompareDocuments(ref, m, 0.6).Pass);

    // With phase on both sides the phase difference is there too.
    const MeasurementDocument mp = Sweep({200, 2000}, {0, 0}, {179, -179});
    const MeasurementDocument rp = Sweep({200, 2000}, {0, 0}, {-179, 179});
    c = CompareDocuments(rp, mp, 0.1);
    ASSERT_TRUE(c.Curves[0].HasPhase);
    EXPECT_NEAR(c.Curves[0].Points[0].PhaseDifference, -2.0, 1e-9);
    EXPECT_NEAR(c.Curves[0].Points[1].PhaseDifference, 2.0, 1e-9);
    EXPECT_TRUE(c.Pass);
}

TEST(CurveComparison, DocumentsThatCannotBeComparedSayWhy)
{
    const MeasurementDocument sweep = Sweep({20, 20000}, {0, 0}, {});
    MeasurementDocument other = Sweep({20, 20000}, {0, 0}, {}, MeasurementKind::LogSweep);
    DocumentComparison c = CompareDocuments(sweep, other, 1.0);
    EXPECT_EQ(c.Problem, ComparisonProblem::KindsDiffer);
    EXPECT_FALSE(c.Pass);
    EXPECT_EQ(ComparisonProblemText(c, 'E'),
              "The measurements are of different kinds (\"sweep\" and \"logsweep\") and cannot be compared.");

    other = sweep;
    other.Curves[0].YUnit = "dBV";
    c = CompareDocuments(sweep, other, 1.0);
    EXPECT_EQ(c.Problem, ComparisonProblem::UnitsDiffer);
    EXPECT_EQ(c.Detail2, "dB / dBV");

    other = sweep;
    for (CurveDefinition &d : other.Curves)
        d.Name += " left";
    EXPECT_EQ(CompareDocuments(sweep, other, 1.0).Problem, ComparisonProblem::NoCommonCurve);
    EXPECT_EQ(CompareDocuments(sweep, sweep, kNaN).Problem, ComparisonProblem::BadTolerance);
    EXPECT_EQ(CompareDocuments(sweep, sweep, -1.0).Problem, ComparisonProblem::BadTolerance);

    // No point within the reference's range: nothing shown to be within the
    // tolerance, so no pass.
    const MeasurementDocument far = Sweep({30000, 40000}, {0, 0}, {});
    EXPECT_FALSE(CompareDocuments(sweep, far, 1.0).Pass);
}

TEST(CurveComparison, WithoutALevelCurveTheToleranceAppliesToEveryCurve)
{
    MeasurementDocument ref = Sweep({100, 1000}, {0, 0}, {}, MeasurementKind::DistortionFrequency);
    ref.Curves.erase(ref.Curves.begin()); // H2 alone
    MeasurementDocument m = ref;
    m.Results.Columns[3].Numbers = {-58.0, -70.0}; // 2 dB above at 100 Hz
    const DocumentComparison c = CompareDocuments(ref, m, 1.0);
    ASSERT_EQ(c.Curves.size(), 1u);
    EXPECT_TRUE(c.Curves[0].Judged);
    EXPECT_FALSE(c.Pass);
    EXPECT_TRUE(CompareDocuments(ref, m, 2.0).Pass);
}

} // namespace
