// The analyser's distortion readout and its two texts.
#include "measurement/distortionreadout.h"

#include "platform/numbers.h"

#include <cmath>

namespace measure {

namespace {

std::string Fixed(double v, int decimals) { return platform::FormatFixed(v, decimals); }

// dB with one decimal; "-192" for a component with nothing in it.
std::string Db(double db) { return db <= dsp::kNoSignalDb ? std::string("-192") : Fixed(db, 1); }

// A sine's peak amplitude in dBFS (full scale = 1).
double Dbfs(double amplitude) { return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : dsp::kNoSignalDb; }

std::string Percent(double ratio)
{
    const double p = 100.0 * ratio;
    return Fixed(p, p >= 1.0 ? 3 : p >= 0.01 ? 4 : 6);
}

std::string HarmonicPart(const dsp::HarmonicReading &h, char language)
{
    if (h.status != dsp::DistortionStatus::Ok)
        return dsp::HarmonicStatusText(h, language);
    std::string s = Fixed(h.fundamentalHz, 0) + "Hz " + Fixed(h.fundamentalDbfs, 2) + "dBFS";
    for (int k = 2; k <= dsp::kHighestHarmonic; ++k) {
        const dsp::Component &c = h.harmonic(k);
        if (c.state == dsp::ComponentState::Measured)
            s += " H" + std::to_string(k) + " " + Db(c.levelDb);
    }
    s += "dB  THD " + Db(h.thdDb) + "dB " + Percent(h.thd) + "%  THD+N " + Db(h.thdnDb) + "dB " +
         Percent(h.thdn) + "%  " + (language == 'D' ? "Rauschen " : "noise ") + Db(h.noiseDb) + "dB";
    return s;
}

std::string ImdPart(const dsp::ImdReading &m, const dsp::TwoToneSetup &setup, double rate, char language)
{
    if (m.status != dsp::DistortionStatus::Ok)
        return dsp::ImdStatusText(m, setup, rate, language);
    if (m.standard == dsp::TwoToneStandard::Ccif)
        return "d2 " + Db(m.d2Db) + "dB " + Percent(m.d2) + "%  d3 " + Db(m.d3Db) + "dB " + Percent(m.d3) + "%";
    return Db(m.imdDb) + "dB " + Percent(m.imd) + "%";
}

// The note on left-out harmonics of the first channel that has one.
std::string OmittedNote(const DistortionReadout &r, char language)
{
    for (int c = 0; c < 2; ++c)
        if (r.on[c] && r.harmonics[c].status == dsp::DistortionStatus::Ok) {
            const std::string note = dsp::HarmonicsOmittedText(r.harmonics[c], language);
            if (!note.empty())
                return note;
        }
    return std::string();
}

} // namespace

void DistortionReadout::Read(const float *left, const float *right, bool leftOn, bool rightOn, int fftSize,
                             double rate, int windowType, const dsp::HarmonicSetup &harmonicSetup,
                             const dsp::TwoToneSetup *twoToneSetup)
{
    valid = true;
    on[0] = leftOn && left;
    on[1] = rightOn && right;
    sampleRate = rate;
    band = harmonicSetup.band;
    twoTone = twoToneSetup != nullptr;
    if (twoTone)
        setup = *twoToneSetup;
    const float *spectra[2] = {left, right};
    for (int c = 0; c < 2; ++c) {
        harmonics[c] = dsp::HarmonicReading();
        imd[c] = dsp::ImdReading();
        if (!on[c])
            continue;
        if (twoTone)
            imd[c] = dsp::AnalyseImd(spectra[c], fftSize, rate, windowType, setup);
        else
            harmonics[c] = dsp::AnalyseHarmonics(spectra[c], fftSize, rate, windowType, harmonicSetup);
    }
}

std::string DistortionReadoutLine(const DistortionReadout &r, const std::string &leftTag,
                                  const std::string &rightTag, char language)
{
    if (!r.valid)
        return std::string();
    std::string line = "Harmonics: ";
    if (r.twoTone)
        line += std::string("IMD ") + dsp::TwoToneStandardName(r.setup.standard) + " ";
    const std::string tags[2] = {leftTag, rightTag};
    for (int c = 0; c < 2; ++c) {
        if (!r.on[c])
            continue;
        line += tags[c] + (r.twoTone ? ImdPart(r.imd[c], r.setup, r.sampleRate, language)
                                     : HarmonicPart(r.harmonics[c], language)) + " | ";
    }
    if (r.twoTone) {
        line += dsp::ImdReferenceText(r.setup.standard, language);
    } else {
        line += "Band: " + r.bandText;
        const std::string note = OmittedNote(r, language);
        if (!note.empty())
            line += " | " + note;
    }
    return line;
}

std::string DistortionReadoutText(const DistortionReadout &r, char language)
{
    if (!r.valid)
        return std::string();
    const bool de = language == 'D';
    std::string out;
    const char *names[2] = {de ? "links" : "left", de ? "rechts" : "right"};
    if (r.twoTone) {
        out += std::string("Intermodulation ") + dsp::TwoToneStandardName(r.setup.standard) +
               ", " + dsp::ImdReferenceText(r.setup.standard, language) + "\n";
        out += "channel\tcomponent\tfrequency_hz\tlevel_db\tpercent\n";
        for (int c = 0; c < 2; ++c) {
            if (!r.on[c])
                continue;
            const dsp::ImdReading &m = r.imd[c];
            if (m.status != dsp::DistortionStatus::Ok) {
                out += std::string(names[c]) + "\t" + dsp::ImdStatusText(m, r.setup, r.sampleRate, language) + "\n";
                continue;
            }
            out += std::string(names[c]) + "\tf1\t" + Fixed(m.f1Hz, 3) + "\t" + Fixed(Dbfs(m.a1), 3) + "\t\n";
            out += std::string(names[c]) + "\tf2\t" + Fixed(m.f2Hz, 3) + "\t" + Fixed(Dbfs(m.a2), 3) + "\t\n";
            for (int i = 0; i < m.productCount; ++i) {
                const dsp::Component &p = m.products[i];
                out += std::string(names[c]) + "\tproduct\t" + Fixed(p.frequencyHz, 3) + "\t" + Fixed(p.levelDb, 3) +
                       "\t" + Percent(p.ratio) + "\n";
            }
            if (m.standard == dsp::TwoToneStandard::Ccif) {
                out += std::string(names[c]) + "\td2\t\t" + Fixed(m.d2Db, 3) + "\t" + Percent(m.d2) + "\n";
                out += std::string(names[c]) + "\td3\t\t" + Fixed(m.d3Db, 3) + "\t" + Percent(m.d3) + "\n";
            } else {
                out += std::string(names[c]) + "\tIMD\t\t" + Fixed(m.imdDb, 3) + "\t" + Percent(m.imd) + "\n";
            }
        }
        return out;
    }
    out += std::string(de ? "Harmonische, Band: " : "Harmonics, band: ") + r.bandText + "\n";
    out += "channel\tcomponent\tfrequency_hz\tlevel_db\tpercent\n";
    for (int c = 0; c < 2; ++c) {
        if (!r.on[c])
            continue;
        const dsp::HarmonicReading &h = r.harmonics[c];
        const std::string ch = names[c];
        if (h.status != dsp::DistortionStatus::Ok) {
            out += ch + "\t" + dsp::HarmonicStatusText(h, language) + "\n";
            continue;
        }
        out += ch + "\tH1\t" + Fixed(h.fundamentalHz, 3) + "\t" + Fixed(h.fundamentalDbfs, 3) + "\t\n";
        for (int k = 2; k <= dsp::kHighestHarmonic; ++k) {
            const dsp::Component &p = h.harmonic(k);
            out += ch + "\tH" + std::to_string(k) + "\t" + Fixed(p.frequencyHz, 3) + "\t";
            if (p.state == dsp::ComponentState::Measured)
                out += Fixed(p.levelDb, 3) + "\t" + Percent(p.ratio) + "\n";
            else
                out += std::string(p.state == dsp::ComponentState::AboveBand
                                       ? (de ? "\u00fcber dem Band" : "above the band")
                                       : (de ? "\u00fcber der halben Abtastrate" : "above half the rate")) +
                       "\t\n";
        }
        out += ch + "\tTHD\t\t" + Fixed(h.thdDb, 3) + "\t" + Percent(h.thd) + "\n";
        out += ch + "\tTHD+N\t\t" + Fixed(h.thdnDb, 3) + "\t" + Percent(h.thdn) + "\n";
        out += ch + "\tnoise\t\t" + Fixed(h.noiseDb, 3) + "\t" + Percent(h.noise) + "\n";
    }
    const std::string note = OmittedNote(r, language);
    if (!note.empty())
        out += note + "\n";
    return out;
}

} // namespace measure
