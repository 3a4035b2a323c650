// Level units: scale numbers per unit, magnitude to level, titles and the
// calibration state text.
#include "display/levelunits.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace display;

namespace {
constexpr float kFactor = 8.722f;
constexpr float kOffset = 12.6f;
} // namespace

TEST(LevelScale, NumbersForAllFourUnits)
{
    const double dbv = 20.0 * std::log10(497.0 / 1000.0);
    const double dbu = 20.0 * std::log10(497.0 / 775.0);
    EXPECT_NEAR(dbv, -6.07, 0.005); // the references themselves: 497 mV is about -6.07 dBV
    EXPECT_NEAR(dbu, -3.86, 0.005); // and -3.86 dBu

    struct Case {
        int unit;
        double shift;
        const char *label;
    };
    for (const Case &c : {Case{LevelUnitDbFS, 0.0, "dbFS"}, Case{LevelUnitDbV, dbv, "dbV"},
                          Case{LevelUnitDbu, dbu, "dbu"}, Case{LevelUnitDbm, dbu, "dbm"}}) {
        const LevelScale s = GetLevelScale(c.unit, kFactor, kOffset, 497.0f);
        EXPECT_DOUBLE_EQ(s.Factor, static_cast<double>(kFactor)) << c.unit;
        EXPECT_NEAR(s.Shift, c.shift, 1e-9) << c.unit;
        EXPECT_NEAR(s.Offset, static_cast<double>(kOffset) + c.shift, 1e-9) << c.unit;
        EXPECT_EQ(s.Label, c.label);
    }
    // dBu and dBm give identical numbers
    const LevelScale u = GetLevelScale(LevelUnitDbu, kFactor, kOffset, 497.0f);
    const LevelScale m = GetLevelScale(LevelUnitDbm, kFactor, kOffset, 497.0f);
    EXPECT_EQ(u.Offset, m.Offset);
    EXPECT_EQ(u.Shift, m.Shift);
}

TEST(LevelScale, CalibrationAt1VMakesDbVEqualDbFS)
{
    const LevelScale fs = GetLevelScale(LevelUnitDbFS, kFactor, kOffset, 1000.0f);
    const LevelScale v = GetLevelScale(LevelUnitDbV, kFactor, kOffset, 1000.0f);
    EXPECT_NEAR(v.Shift, 0.0, 1e-12);
    EXPECT_NEAR(v.Offset, fs.Offset, 1e-12);
    // 775 mV: dBu equals dBFS
    EXPECT_NEAR(GetLevelScale(LevelUnitDbu, kFactor, kOffset, 775.0f).Shift, 0.0, 1e-12);
}

TEST(LevelScale, UnknownUnitAndLabelLengthAndBadCalibration)
{
    const LevelScale s = GetLevelScale(7, kFactor, kOffset, 497.0f);
    EXPECT_EQ(s.Label, "dB");
    EXPECT_EQ(s.Shift, 0.0);
    EXPECT_DOUBLE_EQ(s.Offset, static_cast<double>(kOffset));
    EXPECT_EQ(GetLevelScale(LevelUnitDbFS, kFactor, kOffset, 497.0f, 3).Label, "dbF");
    EXPECT_EQ(GetLevelScale(LevelUnitDbV, kFactor, kOffset, 497.0f, 0).Label, "");
    // a calibration that is not a positive voltage gives no shift instead of -inf levels
    EXPECT_EQ(GetLevelScale(LevelUnitDbV, kFactor, kOffset, 0.0f).Shift, 0.0);
    EXPECT_EQ(GetLevelScale(LevelUnitDbu, kFactor, kOffset, -3.0f).Shift, 0.0);

    double factor = 0, offset = 0, shift = 0;
    std::string label;
    GetLevelScale(LevelUnitDbu, kFactor, kOffset, 497.0f, factor, offset, shift, label, 5);
    EXPECT_DOUBLE_EQ(factor, static_cast<double>(kFactor));
    EXPECT_NEAR(shift, 20.0 * std::log10(497.0 / 775.0), 1e-9);
    EXPECT_EQ(label, "dbu");
}

TEST(LevelScale, MagnitudeToLevel)
{
    const LevelScale fs = GetLevelScale(LevelUnitDbFS, kFactor, kOffset, 497.0f);
    EXPECT_NEAR(MagnitudeToLevel(1.0, fs), 12.6, 1e-6); // ln 1 = 0
    EXPECT_NEAR(MagnitudeToLevel(std::exp(-2.0), fs), 12.6 - 2.0 * 8.722, 1e-5);
    for (int unit = 0; unit < 4; ++unit) {
        const LevelScale s = GetLevelScale(unit, kFactor, kOffset, 497.0f);
        EXPECT_EQ(MagnitudeToLevel(0.0, s), -192.0) << unit;
        EXPECT_EQ(MagnitudeToLevel(-1.0, s), -192.0) << unit;
    }
    const LevelScale v = GetLevelScale(LevelUnitDbV, kFactor, kOffset, 497.0f);
    EXPECT_NEAR(MagnitudeToLevel(1.0, v), 12.6 + 20.0 * std::log10(0.497), 1e-5);
}

TEST(LevelUnitTexts, AxisTitlesAndCalibrationState)
{
    EXPECT_EQ(LevelAxisTitle(LevelUnitDbFS), "Level [dB FS]");
    EXPECT_EQ(LevelAxisTitle(LevelUnitDbV, 'D'), "Level [dBV]");
    EXPECT_EQ(LevelAxisTitle(LevelUnitDbu), "Level [dBu]");
    EXPECT_EQ(LevelAxisTitle(LevelUnitDbm), "Level [dBm]");
    EXPECT_EQ(LevelAxisTitle(9), "Level [dB]");

    EXPECT_EQ(CalibrationStateText(LevelUnitDbFS, 80, 80, 'E'), std::string(18, ' '));
    EXPECT_EQ(CalibrationStateText(LevelUnitDbV, 80, 80, 'E'), "Level calibrated");
    EXPECT_EQ(CalibrationStateText(LevelUnitDbV, 80, 80, 'D'), "Pegel kalibriert");
    EXPECT_EQ(CalibrationStateText(LevelUnitDbu, 79, 80, 'D'), "Pegel unkalibriert");
    EXPECT_EQ(CalibrationStateText(LevelUnitDbm, 79, 80, 'E'), "Levle uncalibrated");
    // never calibrated
    EXPECT_EQ(CalibrationStateText(LevelUnitDbV, -1, -1, 'D'), "Pegel unkalibriert");
}
