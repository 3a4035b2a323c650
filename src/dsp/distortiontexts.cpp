// Message texts of the distortion readings, German and English.
#include "dsp/distortiontexts.h"

#include "platform/inifile.h"

#include <cmath>

namespace dsp {

namespace {

// Whole numbers without decimals, others with two.
std::string Num(double v)
{
    if (!std::isfinite(v))
        return "?";
    return platform::FormatFixed(v, std::fabs(v - std::round(v)) < 0.005 ? 0 : 2);
}

} // namespace

std::string DistortionStatusText(DistortionStatus status, char language, double v1, double v2,
                                 double v3)
{
    const bool de = language == 'D';
    switch (status) {
    case DistortionStatus::Ok:
        return std::string();
    case DistortionStatus::NoSpectrum:
        return de ? "Kein auswertbares Spektrum." : "No spectrum to evaluate.";
    case DistortionStatus::NoFundamental:
        return de ? "keine Grundwelle" : "no fundamental wave";
    case DistortionStatus::NotResolved:
        return de ? "Die FFT-Aufl\u00f6sung (" + Num(v2) + " Hz je Linie) trennt mit diesem Fenster keine "
                        "Komponenten im Abstand von " + Num(v1) +
                        " Hz: mehr FFT-Punkte oder eine niedrigere Abtastrate w\u00e4hlen."
                  : "The FFT resolution (" + Num(v2) + " Hz per line) cannot separate components " + Num(v1) +
                        " Hz apart with this window: choose more FFT points or a lower sample rate.";
    case DistortionStatus::FundamentalAboveBand:
        return de ? "Die Grundwelle (" + Num(v1) + " Hz) liegt \u00fcber dem Messband (" + Num(v2) + " Hz)."
                  : "The fundamental (" + Num(v1) + " Hz) lies above the measurement band (" + Num(v2) +
                        " Hz).";
    case DistortionStatus::TonesAboveHalfRate:
        return de ? "Die beiden T\u00f6ne (" + Num(v1) + " Hz und " + Num(v2) +
                        " Hz) passen nicht unter die halbe Abtastrate (" + Num(v3) + " Hz)."
                  : "The two tones (" + Num(v1) + " Hz and " + Num(v2) +
                        " Hz) do not fit below half the sample rate (" + Num(v3) + " Hz).";
    case DistortionStatus::ProductAboveHalfRate:
        return de ? "Das Intermodulationsprodukt bei " + Num(v1) + " Hz liegt \u00fcber der halben Abtastrate (" +
                        Num(v2) + " Hz)."
                  : "The intermodulation product at " + Num(v1) + " Hz lies above half the sample rate (" +
                        Num(v2) + " Hz).";
    case DistortionStatus::Clips:
        return de ? "Ein Zweitonpegel von " + Num(v1) +
                        " dBFS \u00fcbersteuert: die Spitze beider T\u00f6ne darf 0 dBFS nicht \u00fcberschreiten."
                  : "A two-tone level of " + Num(v1) +
                        " dBFS clips: the peak of both tones must not exceed 0 dBFS.";
    case DistortionStatus::BadLevel:
        return de ? "Der Zweitonpegel ist keine g\u00fcltige Zahl." : "The two-tone level is not a valid number.";
    case DistortionStatus::BadFrequencies:
        return de ? "Die Tonfrequenzen sind ung\u00fcltig: der tiefe Ton muss \u00fcber 0 Hz liegen, der hohe "
                    "\u00fcber dem Dreifachen des tiefen (SMPTE, DIN); bei CCIF muss 2f1 \u2212 f2 \u00fcber 0 Hz "
                    "liegen."
                  : "The tone frequencies are not valid: the low tone must lie above 0 Hz and the high tone "
                    "above three times the low one (SMPTE, DIN); for CCIF 2f1 \u2212 f2 must lie above 0 Hz.";
    case DistortionStatus::BadRatio:
        return de ? "Das Amplitudenverh\u00e4ltnis muss gr\u00f6\u00dfer als 0 sein."
                  : "The amplitude ratio must be greater than 0.";
    }
    return std::string();
}

std::string HarmonicsOmittedText(int firstOrder, bool aboveHalfRate, double limitHz, char language)
{
    if (firstOrder < 2 || firstOrder > 9)
        return std::string();
    const bool de = language == 'D';
    const bool one = firstOrder == 9;
    std::string orders = "H";
    orders += one ? std::string("9") : std::to_string(firstOrder) + " \u2026 H9";
    std::string where;
    if (aboveHalfRate)
        where = de ? "der halben Abtastrate (" : "half the sample rate (";
    else
        where = de ? "dem Messband (" : "the measurement band (";
    where += Num(limitHz) + " Hz)";
    if (de)
        return orders + (one ? " liegt \u00fcber " : " liegen \u00fcber ") + where + " und " +
               (one ? "bleibt" : "bleiben") + " unber\u00fccksichtigt.";
    return orders + (one ? " lies above " : " lie above ") + where + " and " + (one ? "is" : "are") +
           " left out.";
}

} // namespace dsp
