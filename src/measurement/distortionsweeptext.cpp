#include "measurement/distortionsweeptext.h"

#include "platform/numbers.h"

namespace measure {

namespace {

std::string Field(double v, bool measured) { return measured ? platform::FormatFixed(v, 3) : std::string(); }

} // namespace

std::string DistortionSweepText(const std::vector<DistortionStep> &steps, const bool channels[2])
{
    std::string out = "step\tfrequency_hz\tgenerator_dbfs";
    const char *prefix[2] = {"left_", "right_"};
    for (int c = 0; c < 2; ++c) {
        if (!channels[c])
            continue;
        const std::string p = prefix[c];
        out += "\t" + p + "fundamental_dbfs";
        for (int k = 2; k <= dsp::kHighestHarmonic; ++k)
            out += "\t" + p + "h" + std::to_string(k) + "_db";
        out += "\t" + p + "thd_db\t" + p + "thd_percent\t" + p + "thdn_db\t" + p + "thdn_percent\t" + p + "noise_db";
    }
    out += "\n";
    for (const DistortionStep &s : steps) {
        out += std::to_string(s.Step) + "\t" + platform::FormatFixed(s.FrequencyHz, 3) + "\t" +
               std::to_string(s.LevelDb);
        for (int c = 0; c < 2; ++c) {
            if (!channels[c])
                continue;
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
