// THD+N, band level, the analysis settings and their INI section.
#include "dsp/analysis.h"

#include "dsp/fft.h"
#include "dsp/weighting.h"
#include "platform/inifile.h"
#include "platform/numbers.h"

#include <climits>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace dsp {

namespace {

// A bin's magnitude with the weighting added in dB. A magnitude of 0 goes
// through as the no-signal level, unweighted, and comes back as its
// (tiny) magnitude.
inline double Weighted(double m, double freqHz, const CorrectionCurve &weighting, bool on,
                       double factor)
{
    if (!on)
        return m;
    const double db = m > 0.0 ? std::log(m) * factor : kNoSignalDb;
    const double weightedDb = m > 0.0 ? weighting.apply(-1.0, freqHz, db) : db;
    return std::exp(weightedDb / factor);
}

// Mean of a window's squared values. The windows are periodic cosine sums
// of at most four terms, so 64 points give the mean exactly.
double WindowPowerGain(int type)
{
    constexpr int kPoints = 64;
    float table[kPoints];
    if (!FillWindow(table, type, kPoints))
        return 0.0;
    double sum = 0.0;
    for (const float w : table)
        sum += static_cast<double>(w) * w;
    return sum / kPoints;
}

// ln of the factor that brings a band sum taken through window `type` to
// what the default window's would be.
double WindowCorrectionLn(int type)
{
    static const double kDefault = WindowPowerGain(kWindowRifeVincent3);
    const double gain = WindowPowerGain(type);
    return gain > 0.0 ? 0.5 * std::log(kDefault / gain) : 0.0;
}

bool Usable(const float *magnitudes, const AnalysisSettings &s)
{
    return magnitudes && s.fftSize >= 2 && s.sampleRate > 0.0 && std::isfinite(s.sampleRate);
}

// Whole number of Hz with the fall-backs of the settings file: a value that
// does not parse or is 0 gives the default, a negative one its absolute value.
int ReadWholeHz(const platform::IniFile &ini, const char *key, int def)
{
    const std::optional<long long> v = platform::ReadInteger(ini, kAnalysisSection, key, std::to_string(def));
    if (!v || *v == 0 || *v > INT_MAX || *v < -INT_MAX)
        return def;
    return static_cast<int>(std::llabs(*v));
}

bool ReadBool(const platform::IniFile &ini, const char *key, bool def)
{
    return platform::ReadSwitch(ini, kAnalysisSection, key, def);
}

const char *BoolText(bool on) { return on ? "TRUE" : "FALSE"; }

} // namespace

double FindFundamental(const float *magnitudes, AnalysisSettings &s)
{
    if (!Usable(magnitudes, s))
        return 0.0;
    s.binWidth = s.sampleRate / s.fftSize;
    const int bins = s.fftSize / 2;
    int best = -1;
    double largest = s.threshold;
    for (int i = 0; i < bins; ++i) {
        if (magnitudes[i] > largest) { // strict: the lowest of equal maxima wins
            largest = magnitudes[i];
            best = i;
        }
    }
    return best <= 0 ? 0.0 : best * s.binWidth;
}

double ThdN(const float *magnitudes, AnalysisSettings &s, const CorrectionCurve &weighting,
            double factor)
{
    if (!Usable(magnitudes, s))
        return kNoSignalDb;
    s.binWidth = s.sampleRate / s.fftSize;
    if (s.fundAuto)
        s.fundamental = std::nearbyint(FindFundamental(magnitudes, s));

    const bool weighted = weighting.count() > 0 && weighting.active();
    const double bw = s.binWidth;
    const double fundamental = s.fundamental;
    // The fundamental's own band, both ends included: ±12 bins covers the
    // main lobe of every window at every size.
    const double skipLow = fundamental - 12.0 * bw;
    const double skipHigh = fundamental + 12.0 * bw;
    const double high = EffectiveHighHz(s);
    double total = 0.0, noise = 0.0;
    const int bins = s.fftSize / 2;
    for (int i = 0; i < bins; ++i) {
        const double f = i * bw;
        const double m = Weighted(magnitudes[i], f, weighting, weighted, factor);
        const double p = m * m;
        total += p;
        if (f >= s.lowFreq && f <= high &&
            !(fundamental != 0.0 && f >= skipLow && f <= skipHigh))
            noise += p;
    }
    if (total == 0.0 || noise == 0.0)
        return kNoSignalDb;
    if (fundamental != 0.0)
        return std::log(std::sqrt(noise / total)) * factor;
    return std::log(std::sqrt(noise)) * factor;
}

double BandLevel(const float *magnitudes, AnalysisSettings &s, const CorrectionCurve &weighting,
                 double levelOffset, double factor)
{
    if (!Usable(magnitudes, s))
        return kNoSignalDb;
    s.binWidth = s.sampleRate / s.fftSize;
    const bool weighted = weighting.count() > 0 && weighting.active();
    double sum = 0.0;
    const int bins = s.fftSize / 2;
    const double high = EffectiveHighHz(s);
    for (int i = 0; i < bins; ++i) {
        const double f = i * s.binWidth;
        if (f < s.lowFreq || f > high)
            continue;
        const double m = Weighted(magnitudes[i], f, weighting, weighted, factor);
        sum += m * m;
    }
    if (sum == 0.0)
        return kNoSignalDb;
    // 8.17 dB is the fixed calibration of the band level against the
    // spectrum levels, for the default window; other windows are brought to
    // its reading by their power gain.
    return (std::log(std::sqrt(sum)) + WindowCorrectionLn(s.windowType)) * factor + 8.17 + levelOffset;
}

double Aes17UpperHz(const AnalysisSettings &s)
{
    if (s.aes17 == 40 && s.sampleRate > 80000.0)
        return 40000.0;
    return s.aes17 == 20 || s.aes17 == 40 ? 20000.0 : 0.0;
}

double EffectiveHighHz(const AnalysisSettings &s)
{
    const double edge = Aes17UpperHz(s);
    return edge > 0.0 && edge < s.highFreq ? edge : static_cast<double>(s.highFreq);
}

SpectrumAnalysis::SpectrumAnalysis() { selectFilter(kWeightingNone); }

void SpectrumAnalysis::selectFilter(const std::string &name)
{
    const WeightingTable *table = FindWeightingTable(name);
    if (name == kWeightingNone) {
        weighting_.setFromTable(table->points, table->count);
        weighting_.setActive(false);
    } else if (table) {
        weighting_.setFromTable(table->points, table->count);
        weighting_.setActive(true);
    } else {
        weighting_.setActive(true);
    }
    settings_.filterName = name;
}

void SpectrumAnalysis::readSettings(const platform::IniFile &ini)
{
    settings_.thdMess = ReadBool(ini, "THDMESS", false);
    settings_.noiseMess = ReadBool(ini, "NOISEMESS", false);
    settings_.harmMess = ReadBool(ini, "HARMMESS", false);
    {
        long long edge = 0;
        const bool read = platform::ParseInt(ini.get(kAnalysisSection, "AES17", "0"), edge);
        settings_.aes17 = read && (edge == 20 || edge == 40) ? static_cast<int>(edge) : 0;
    }
    settings_.fundAuto = ReadBool(ini, "FUNDAUTO", true);
    settings_.fundamental = ReadWholeHz(ini, "FUNDAMENTAL", 1000);
    settings_.lowFreq = ReadWholeHz(ini, "FVON", 100);
    settings_.highFreq = ReadWholeHz(ini, "FBIS", 20000);
    const std::optional<double> threshold = platform::ReadReal(ini, kAnalysisSection, "FUNDLOW", "0.001");
    settings_.threshold = threshold && *threshold > 0.0 ? *threshold : 0.001;
    selectFilter(ini.get(kAnalysisSection, "FILTER", kWeightingNone));
}

void SpectrumAnalysis::writeSettings(platform::IniFile &ini) const
{
    ini.set(kAnalysisSection, "THDMESS", BoolText(settings_.thdMess));
    ini.set(kAnalysisSection, "NOISEMESS", BoolText(settings_.noiseMess));
    ini.set(kAnalysisSection, "HARMMESS", BoolText(settings_.harmMess));
    ini.set(kAnalysisSection, "AES17", std::to_string(settings_.aes17));
    ini.set(kAnalysisSection, "FUNDAUTO", BoolText(settings_.fundAuto));
    ini.set(kAnalysisSection, "FUNDAMENTAL", std::to_string(std::llround(settings_.fundamental)));
    ini.set(kAnalysisSection, "FVON", std::to_string(settings_.lowFreq));
    ini.set(kAnalysisSection, "FBIS", std::to_string(settings_.highFreq));
    // Seven decimals hold nothing below 1e-7: a smaller threshold would be
    // written as 0 and read back as the default 0.001.
    ini.set(kAnalysisSection, "FUNDLOW", platform::FormatFixed(std::max(settings_.threshold, 1e-7), 7));
    ini.set(kAnalysisSection, "FILTER", settings_.filterName);
}

void SpectrumAnalysis::readSettingsFile(const std::string &fileName)
{
    platform::IniFile ini(fileName);
    ini.load();
    readSettings(ini);
}

bool SpectrumAnalysis::writeSettingsFile(const std::string &fileName) const
{
    platform::IniFile ini(fileName);
    if (!ini.load()) // keep a file we cannot read rather than replace it
        return false;
    writeSettings(ini);
    return ini.save();
}

SpectrumAnalysis &UnitAnalysis()
{
    static SpectrumAnalysis unit;
    return unit;
}

} // namespace dsp
