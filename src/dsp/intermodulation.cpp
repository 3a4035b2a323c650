// Two-tone signals and the reading of their intermodulation products.
#include "dsp/intermodulation.h"

#include "dsp/fft.h"
#include "dsp/tonepower.h"

#include <cmath>

namespace dsp {

namespace {

bool Finite(double v) { return std::isfinite(v); }

bool SidebandStandard(TwoToneStandard s) { return s != TwoToneStandard::Ccif; }

// The highest product the reading needs.
double HighestProductHz(const TwoToneSignal &s, TwoToneStandard standard)
{
    return SidebandStandard(standard) ? s.f2Hz + 2.0 * s.f1Hz : 2.0 * s.f2Hz - s.f1Hz;
}

// Spacing of the lines the reading must tell apart.
double SpacingHz(const TwoToneSignal &s, TwoToneStandard standard)
{
    return SidebandStandard(standard) ? s.f1Hz : s.f2Hz - s.f1Hz;
}

Component ReadProduct(const float *magnitudes, int bins, double binHz, double frequencyHz,
                      const WindowShape &shape, double reference)
{
    Component c;
    c.frequencyHz = frequencyHz;
    const ToneReading t = ReadTone(magnitudes, bins, binHz, frequencyHz, shape);
    if (t.power == 0.0 && std::round(frequencyHz / binHz) + shape.lobeBins > bins - 1) {
        c.state = ComponentState::AboveHalfRate;
        c.levelDb = kNoSignalDb;
        return c;
    }
    c.amplitude = t.amplitude;
    c.ratio = reference > 0.0 ? t.amplitude / reference : 0.0;
    c.levelDb = RatioToDb(c.ratio);
    return c;
}

} // namespace

const char *TwoToneStandardName(TwoToneStandard standard)
{
    switch (standard) {
    case TwoToneStandard::Smpte:
        return "SMPTE";
    case TwoToneStandard::Din:
        return "DIN";
    case TwoToneStandard::Ccif:
        return "CCIF";
    }
    return "";
}

TwoToneSetup DefaultTwoTone(TwoToneStandard standard)
{
    TwoToneSetup s;
    s.standard = standard;
    if (standard == TwoToneStandard::Din) {
        s.lowHz = 250.0;
        s.highHz = 8000.0;
    }
    return s;
}

TwoToneSignal TwoToneSignalOf(const TwoToneSetup &setup)
{
    TwoToneSignal s;
    const double peak = std::pow(10.0, setup.levelDbfs / 20.0);
    if (SidebandStandard(setup.standard)) {
        s.f1Hz = setup.lowHz;
        s.f2Hz = setup.highHz;
        s.a1 = peak * setup.ratio / (setup.ratio + 1.0);
        s.a2 = peak / (setup.ratio + 1.0);
    } else {
        s.f1Hz = setup.centreHz - setup.spacingHz / 2.0;
        s.f2Hz = setup.centreHz + setup.spacingHz / 2.0;
        s.a1 = s.a2 = peak / 2.0;
    }
    return s;
}

DistortionStatus ValidateTwoTone(const TwoToneSetup &setup, double sampleRate)
{
    const TwoToneSignal s = TwoToneSignalOf(setup);
    if (SidebandStandard(setup.standard)) {
        if (!Finite(setup.lowHz) || !Finite(setup.highHz) || !(setup.lowHz > 0.0) ||
            !(setup.highHz > 3.0 * setup.lowHz))
            return DistortionStatus::BadFrequencies;
        if (!Finite(setup.ratio) || !(setup.ratio > 0.0))
            return DistortionStatus::BadRatio;
    } else if (!Finite(setup.centreHz) || !Finite(setup.spacingHz) || !(setup.spacingHz > 0.0) ||
               !(s.f1Hz - setup.spacingHz > 0.0)) {
        return DistortionStatus::BadFrequencies;
    }
    if (!Finite(setup.levelDbfs))
        return DistortionStatus::BadLevel;
    if (setup.levelDbfs > 0.0)
        return DistortionStatus::Clips;
    const double half = sampleRate / 2.0;
    if (!(s.f2Hz < half))
        return DistortionStatus::TonesAboveHalfRate;
    if (!(HighestProductHz(s, setup.standard) < half))
        return DistortionStatus::ProductAboveHalfRate;
    return DistortionStatus::Ok;
}

std::string TwoToneStatusText(DistortionStatus status, const TwoToneSetup &setup, double sampleRate,
                              char language)
{
    const TwoToneSignal s = TwoToneSignalOf(setup);
    switch (status) {
    case DistortionStatus::TonesAboveHalfRate:
        return DistortionStatusText(status, language, s.f1Hz, s.f2Hz, sampleRate / 2.0);
    case DistortionStatus::ProductAboveHalfRate:
        return DistortionStatusText(status, language, HighestProductHz(s, setup.standard), sampleRate / 2.0);
    case DistortionStatus::Clips:
        return DistortionStatusText(status, language, setup.levelDbfs);
    default:
        break;
    }
    return DistortionStatusText(status, language);
}

const char *ImdReferenceText(TwoToneStandard standard, char language)
{
    const bool de = language == 'D';
    if (SidebandStandard(standard))
        return de ? "bez. auf A(f2)" : "re A(f2)";
    return de ? "bez. auf A1 + A2" : "re A1 + A2";
}

ImdReading AnalyseImd(const float *magnitudes, int fftSize, double sampleRate, int windowType,
                      const TwoToneSetup &setup) noexcept
{
    ImdReading r;
    r.standard = setup.standard;
    const WindowShape shape = WindowShapeOf(windowType);
    r.windowFit = shape.fitForDistortion;
    if (!magnitudes || !IsSupportedFftSize(fftSize) || !(sampleRate > 0.0) || !Finite(sampleRate) ||
        shape.lobeBins < 1)
        return r;
    r.status = ValidateTwoTone(setup, sampleRate);
    if (r.status != DistortionStatus::Ok)
        return r;
    const int bins = fftSize / 2;
    const double binHz = sampleRate / fftSize;
    r.binHz = binHz;
    const TwoToneSignal nominal = TwoToneSignalOf(setup);
    if (SpacingHz(nominal, setup.standard) / binHz < 2 * shape.lobeBins + 1) {
        r.status = DistortionStatus::NotResolved;
        return r;
    }
    const double p1 = ToneBinPosition(magnitudes, bins, nominal.f1Hz / binHz, 2, shape);
    const double p2 = ToneBinPosition(magnitudes, bins, nominal.f2Hz / binHz, 2, shape);
    if (p1 < 0.0 || p2 < 0.0 || !StandsOut(magnitudes, bins, static_cast<int>(std::lround(p1)), shape) ||
        !StandsOut(magnitudes, bins, static_cast<int>(std::lround(p2)), shape)) {
        r.status = DistortionStatus::NoFundamental;
        return r;
    }
    r.f1Hz = p1 * binHz;
    r.f2Hz = p2 * binHz;
    r.a1 = ReadTone(magnitudes, bins, binHz, r.f1Hz, shape).amplitude;
    r.a2 = ReadTone(magnitudes, bins, binHz, r.f2Hz, shape).amplitude;
    if (!(r.a1 > 0.0) || !(r.a2 > 0.0)) {
        r.status = DistortionStatus::NoFundamental;
        return r;
    }
    const double f1 = r.f1Hz, f2 = r.f2Hz;
    if (SidebandStandard(setup.standard)) {
        r.reference = r.a2;
        const double at[4] = {f2 - f1, f2 + f1, f2 - 2.0 * f1, f2 + 2.0 * f1};
        double sum2 = 0.0;
        for (int i = 0; i < 4; ++i) {
            r.products[i] = ReadProduct(magnitudes, bins, binHz, at[i], shape, r.reference);
            sum2 += r.products[i].amplitude * r.products[i].amplitude;
        }
        r.productCount = 4;
        r.imd = std::sqrt(sum2) / r.reference;
        r.imdDb = RatioToDb(r.imd);
    } else {
        r.reference = r.a1 + r.a2;
        const double at[3] = {f2 - f1, 2.0 * f1 - f2, 2.0 * f2 - f1};
        for (int i = 0; i < 3; ++i)
            r.products[i] = ReadProduct(magnitudes, bins, binHz, at[i], shape, r.reference);
        r.productCount = 3;
        r.d2 = r.products[0].ratio;
        r.d3 = r.products[1].ratio + r.products[2].ratio;
        r.d2Db = RatioToDb(r.d2);
        r.d3Db = RatioToDb(r.d3);
    }
    return r;
}

std::string ImdStatusText(const ImdReading &reading, const TwoToneSetup &setup, double sampleRate,
                          char language)
{
    if (reading.status == DistortionStatus::NotResolved)
        return DistortionStatusText(reading.status, language, SpacingHz(TwoToneSignalOf(setup), setup.standard),
                                    reading.binHz);
    return TwoToneStatusText(reading.status, setup, sampleRate, language);
}

} // namespace dsp
