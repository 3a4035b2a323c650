#include "measurement/distortionsweeptext.h"

#include "dsp/tonepower.h"
#include "measurement/levelunits.h"
#include "platform/numbers.h"

#include <cctype>
#include <cmath>

namespace measure {

namespace {

std::string Field(double v, bool measured)
{
    return measured && std::isfinite(v) ? platform::FormatFixed(v, 3) : std::string();
}

// Six significant digits: powers span decades.
std::string Significant(double v) { return std::isfinite(v) ? platform::FormatNumber(v, 'g', 6) : std::string(); }

} // namespace

std::string DistortionSweepText(const std::vector<DistortionStep> &steps, const bool channels[2],
                                const DistortionTextSetup &setup)
{
    const bool imd = setup.Kind == DistortionSweepKind::Imd;
    const bool inUnit = setup.Unit != display::OutputUnitDbFS && *display::OutputLevelUnitName(setup.Unit);
    std::string out = "step\tfrequency_hz\tgenerator_dbfs";
    if (inUnit) {
        std::string unit = display::OutputLevelUnitName(setup.Unit);
        for (char &c : unit)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out += "\tgenerator_" + unit;
    }
    const char *prefix[2] = {"left_", "right_"};
    for (int c = 0; c < 2; ++c) {
        if (!channels[c])
            continue;
        const std::string p = prefix[c];
        if (imd) {
            out += "\t" + p + "a1_dbfs\t" + p + "a2_dbfs";
            out += setup.Ccif ? "\t" + p + "d2_db\t" + p + "d2_percent\t" + p + "d3_db\t" + p + "d3_percent"
                              : "\t" + p + "imd_db\t" + p + "imd_percent";
            continue;
        }
        out += "\t" + p + "fundamental_dbfs";
        for (int k = 2; k <= dsp::kHighestHarmonic; ++k)
            out += "\t" + p + "h" + std::to_string(k) + "_db";
        out += "\t" + p + "thd_db\t" + p + "thd_percent\t" + p + "thdn_db\t" + p + "thdn_percent\t" + p + "noise_db";
    }
    out += "\n";
    for (const DistortionStep &s : steps) {
        out += std::to_string(s.Step) + "\t" + platform::FormatFixed(s.FrequencyHz, 3) + "\t" +
               std::to_string(s.LevelDb);
        if (inUnit) {
            const double v =
                display::OutputLevelInUnit(s.LevelDb, setup.Unit, setup.OutputCalibrationMv, setup.LoadOhms);
            out += "\t" + (setup.Unit == display::OutputUnitW ? Significant(v) : Field(v, true));
        }
        for (int c = 0; c < 2; ++c) {
            if (!channels[c])
                continue;
            if (imd) {
                const dsp::ImdReading &r = s.Imd[c];
                const bool ok = r.status == dsp::DistortionStatus::Ok;
                out += "\t" + Field(dsp::RatioToDb(r.a1), ok) + "\t" + Field(dsp::RatioToDb(r.a2), ok);
                if (setup.Ccif)
                    out += "\t" + Field(r.d2Db, ok) + "\t" + Field(100.0 * r.d2, ok) + "\t" + Field(r.d3Db, ok) +
                           "\t" + Field(100.0 * r.d3, ok);
                else
                    out += "\t" + Field(r.imdDb, ok) + "\t" + Field(100.0 * r.imd, ok);
                continue;
            }
            const dsp::HarmonicReading &h = s.Harmonics[c];
            const bool ok = h.status == dsp::DistortionStatus::Ok;
            out += "\t" + Field(h.fundamentalDbfs, ok);
            for (int k = 2; k <= dsp::kHighestHarmonic; ++k) {
                const dsp::Component &p = h.harmonic(k);
                out += "\t" + Field(p.levelDb, ok && p.state == dsp::ComponentState::Measured);
            }
            out += "\t" + Field(h.thdDb, ok) + "\t" + Field(100.0 * h.thd, ok) + "\t" + Field(h.thdnDb, ok) + "\t" +
                   Field(100.0 * h.thdn, ok) + "\t" + Field(h.noiseDb, ok);
        }
        out += "\n";
    }
    return out;
}

} // namespace measure
