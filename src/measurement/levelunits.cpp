// Level units and level scaling (see levelunits.h).
#include "measurement/levelunits.h"

#include "platform/runtime/utilities.h"

#include <cmath>

namespace display {

LevelScale GetLevelScale(int levelUnit, float levelFactor, float levelOffset, float inputCalibrationMv,
                         std::size_t maxLabelLength)
{
    LevelScale s;
    s.Factor = levelFactor;
    s.Offset = levelOffset;
    s.Shift = 0.0;
    s.Label = "dB";
    double reference = 0.0;
    switch (levelUnit) {
    case LevelUnitDbFS: s.Label = "dbFS"; break;
    case LevelUnitDbV: s.Label = "dbV"; reference = kDbVReferenceMv; break;
    case LevelUnitDbu: s.Label = "dbu"; reference = kDbuReferenceMv; break;
    case LevelUnitDbm: s.Label = "dbm"; reference = kDbuReferenceMv; break;
    default: break;
    }
    if (reference > 0.0 && std::isfinite(inputCalibrationMv) && inputCalibrationMv > 0.0f) {
        s.Shift = 20.0 * platform::Log10(inputCalibrationMv / reference);
        s.Offset = static_cast<double>(levelOffset) + s.Shift;
    }
    if (s.Label.size() > maxLabelLength)
        s.Label.resize(maxLabelLength);
    return s;
}

void GetLevelScale(int levelUnit, float levelFactor, float levelOffset, float inputCalibrationMv,
                   double &factor, double &offset, double &shift, std::string &label,
                   std::size_t maxLabelLength)
{
    const LevelScale s = GetLevelScale(levelUnit, levelFactor, levelOffset, inputCalibrationMv, maxLabelLength);
    factor = s.Factor;
    offset = s.Offset;
    shift = s.Shift;
    label = s.Label;
}

double MagnitudeToLevel(double magnitude, const LevelScale &scale)
{
    if (!(magnitude > 0.0))
        return kNoSignalDb;
    return scale.Factor * std::log(magnitude) + scale.Offset;
}

std::string LevelAxisTitle(int levelUnit, char /*language: the titles are the same in both*/)
{
    switch (levelUnit) {
    case LevelUnitDbFS: return "Level [dB FS]";
    case LevelUnitDbV: return "Level [dBV]";
    case LevelUnitDbu: return "Level [dBu]";
    case LevelUnitDbm: return "Level [dBm]";
    default: return "Level [dB]";
    }
}

bool CalibrationUsable(double calibrationMv) { return std::isfinite(calibrationMv) && calibrationMv > 0.0; }

double OutputLevelInUnit(double dbfs, int unit, double calibrationMv, double loadOhms)
{
    const double nan = std::nan("");
    if (!(dbfs > kNoSignalDb) || !std::isfinite(dbfs))
        return nan;
    if (unit == OutputUnitDbFS)
        return dbfs;
    if (!CalibrationUsable(calibrationMv))
        return nan;
    const double dbv = dbfs + 20.0 * std::log10(calibrationMv / kDbVReferenceMv);
    switch (unit) {
    case OutputUnitDbV: return dbv;
    case OutputUnitDbu: return dbv - 20.0 * std::log10(kDbuReferenceMv / kDbVReferenceMv);
    case OutputUnitW: {
        if (!(std::isfinite(loadOhms) && loadOhms > 0.0))
            return nan;
        const double volts = std::pow(10.0, dbv / 20.0);
        return volts * volts / loadOhms;
    }
    default: return nan;
    }
}

const char *OutputLevelUnitName(int unit)
{
    switch (unit) {
    case OutputUnitDbFS: return "dBFS";
    case OutputUnitDbV: return "dBV";
    case OutputUnitDbu: return "dBu";
    case OutputUnitW: return "W";
    default: return "";
    }
}

std::string CalibrationStateText(int levelUnit, int inputVolume, int calibratedInputVolume,
                                 char language)
{
    if (levelUnit == LevelUnitDbFS)
        return std::string(18, ' ');
    const bool german = language == 'D';
    if (calibratedInputVolume != -1 && inputVolume == calibratedInputVolume)
        return german ? "Pegel kalibriert" : "Level calibrated";
    return german ? "Pegel unkalibriert" : "Levle uncalibrated";
}

} // namespace display
