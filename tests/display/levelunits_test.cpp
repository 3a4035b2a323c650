// Level units: scale numbers per unit, magnitude to level and the
// calibration state text (the axis titles are read in the main window).
#include "measurement/levelunits.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace display;

namespace {
constexpr float kFactor = 8.722f;
constexpr float kOffset = 12.6f;
} // namespace

TEST(LevelScale, ShiftsOfTheFourUnitsAgainstTheCalibrationVoltage)
{
    // 497 mV at full scale is -6.07 dBV and -3.86 dBu; dBm uses the dBu reference;
    // 1000 mV makes dBV equal dBFS, 775 mV dBu; no positive voltage gives no shift
    struct Case {
        int unit;
        float millivolts;
        double shift;
        const char *label;
    };
    for (const Case &c : {Case{LevelUnitDbFS, 497, 0.0, "dbFS"}, Case{LevelUnitDbV, 497, -6.0729, "dbV"},
                          Case{LevelUnitDbu, 497, -3.8589, "dbu"}, Case{LevelUnitDbm, 497, -3.8589, "dbm"},
                          Case{LevelUnitDbV, 1000, 0.0, "dbV"}, Case{LevelUnitDbu, 775, 0.0, "dbu"},
                          Case{LevelUnitDbV, 0, 0.0, "dbV"}, Case{LevelUnitDbu, -3, 0.0, "dbu"},
                          Case{7, 497, 0.0, "dB"}}) {
        const LevelScale s = GetLevelScale(c.unit, kFactor, kOffset, c.millivolts);
        EXPECT_DOUBLE_EQ(s.Factor, double(kFactor)) << c.unit;
        EXPECT_NEAR(s.Shift, c.shift, 1e-4) << c.unit << " " << c.millivolts;
        EXPECT_NEAR(s.Offset, double(kOffset) + s.Shift, 1e-9) << c.unit;
        EXPECT_EQ(s.Label, c.label);
    }
    EXPECT_EQ(GetLevelScale(LevelUnitDbFS, kFactor, kOffset, 497.0f, 3).Label, "dbF");
    double factor = 0, offset = 0, shift = 0;
    std::string label;
    GetLevelScale(LevelUnitDbu, kFactor, kOffset, 497.0f, factor, offset, shift, label, 5);
    EXPECT_NEAR(shift, -3.8589, 1e-4);
    EXPECT_EQ(label, "dbu");
}

TEST(LevelScale, MagnitudeToLevel)
{
    const LevelScale fs = GetLevelScale(LevelUnitDbFS, kFactor, kOffset, 497.0f);
    EXPECT_NEAR(MagnitudeToLevel(1.0, fs), 12.6, 1e-6);
    EXPECT_NEAR(MagnitudeToLevel(std::exp(-2.0), fs), 12.6 - 2.0 * 8.722, 1e-5);
    EXPECT_NEAR(MagnitudeToLevel(1.0, GetLevelScale(LevelUnitDbV, kFactor, kOffset, 497.0f)), 12.6 - 6.0729, 1e-4);
    for (int unit = 0; unit < 4; ++unit) {
        const LevelScale s = GetLevelScale(unit, kFactor, kOffset, 497.0f);
        EXPECT_EQ(MagnitudeToLevel(0.0, s), -192.0) << unit;
        EXPECT_EQ(MagnitudeToLevel(-1.0, s), -192.0) << unit;
    }
}

TEST(LevelUnitTexts, CalibrationState)
{
    EXPECT_EQ(CalibrationStateText(LevelUnitDbFS, 80, 80, 'E'), std::string(18, ' '));
    EXPECT_EQ(CalibrationStateText(LevelUnitDbV, 80, 80, 'E'), "Level calibrated");
    EXPECT_EQ(CalibrationStateText(LevelUnitDbV, 80, 80, 'D'), "Pegel kalibriert");
    EXPECT_EQ(CalibrationStateText(LevelUnitDbu, 79, 80, 'D'), "Pegel unkalibriert");
    EXPECT_EQ(CalibrationStateText(LevelUnitDbm, 79, 80, 'E'), "Levle uncalibrated");
    EXPECT_EQ(CalibrationStateText(LevelUnitDbV, -1, -1, 'D'), "Pegel unkalibriert"); // never calibrated
}

// The distortion sweep's output level by hand: 1000 mV at full scale and
// -20 dBFS give 0.1 V: -20 dBV, -20 + 20·log10(1/0.775) = -17.786 dBu,
// 0.01 V² / 8 Ω = 1.25 mW; 497 mV at 0 dBFS into 4 Ω: 0.247009 / 4 W. No value
// without a usable calibration, load or signal.
TEST(OutputLevelUnits, VoltsDbuAndWattsThroughTheCalibration)
{
    EXPECT_NEAR(OutputLevelInUnit(-20.0, OutputUnitDbFS, 1000.0, 8.0), -20.0, 1e-12);
    EXPECT_NEAR(OutputLevelInUnit(-20.0, OutputUnitDbV, 1000.0, 8.0), -20.0, 1e-9);
    EXPECT_NEAR(OutputLevelInUnit(-20.0, OutputUnitDbu, 1000.0, 8.0), -17.78, 0.01);
    EXPECT_NEAR(OutputLevelInUnit(-20.0, OutputUnitW, 1000.0, 8.0), 1.25e-3, 1e-9);
    EXPECT_NEAR(OutputLevelInUnit(0.0, OutputUnitW, 497.0, 4.0), 0.06175225, 1e-9);
    for (const double mv : {0.0, -497.0, std::nan(""), HUGE_VAL}) {
        EXPECT_FALSE(CalibrationUsable(mv)) << mv;
        for (const int unit : {OutputUnitDbV, OutputUnitDbu, OutputUnitW})
            EXPECT_TRUE(std::isnan(OutputLevelInUnit(-20.0, unit, mv, 8.0))) << mv << " " << unit;
        EXPECT_NEAR(OutputLevelInUnit(-20.0, OutputUnitDbFS, mv, 8.0), -20.0, 1e-12);
    }
    EXPECT_TRUE(std::isnan(OutputLevelInUnit(-20.0, OutputUnitW, 1000.0, 0.0)));
    EXPECT_TRUE(std::isnan(OutputLevelInUnit(-192.0, OutputUnitDbV, 1000.0, 8.0)));
}
