// The analyser's completion routine: one captured block becomes two magnitude
// spectra, is averaged over the chosen number of blocks and, when a round is
// complete, turned into levels in the current unit (input correction
// applied), one diagram point per bin, and the THD+N, level or trigger line.
// Then the chain goes on or ends by the run mode. The blocks go through the
// round the command line uses too (measurement/spectrumround.h). UI thread;
// nothing here allocates (the buffers exist from page entry on).
#include "app/analyserpage.h"
#include "app/forms.h"
#include "app/mainformtexts.h"
#include "app/pagehost.h"
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/streamwarnings.h"
#include "display/diagramwindow.h"
#include "measurement/levelunits.h"
#include "dsp/analysis.h"
#include "dsp/fft.h"
#include "widgets/messagebox.h"
#include "platform/runtime/messages.h"
#include "platform/runtime/utilities.h"

#include <QLabel>
#include <QSpinBox>
#include <string>

namespace app {

namespace {

QString Fixed(double v, int decimals) { return QString::number(v, 'f', decimals); }

// The AES17 bandwidth in use, named after the filter ("" when off).
QString Aes17Suffix(const dsp::AnalysisSettings &a)
{
    const double edge = dsp::Aes17UpperHz(a);
    return edge > 0.0 ? QStringLiteral(", AES17 %1 kHz").arg(edge / 1000.0, 0, 'f', 0) : QString();
}

} // namespace

void AnalyserPage::AnalyserBlockReady()
{
    // 1. the block
    int count = 0, overloads = 0;
    std::uint32_t userValue = 0;
    const float *block = audio::FinishCapture(count, overloads, userValue);
    const int captureStatus = audio::AudioStatus();
    double meanLevel = 1.0, triggerLevel = 1.0;
    const bool haveBuffers = round_.Allocated();
    if (block && MS.AnalyserRunning && haveBuffers) {
        // 2. overload indicator
        Label2->setText(overloads != 0 ? QStringLiteral("Over ") + QString::number(overloads) : QStringLiteral("."));
        // 3.-5. spectra of the channels that are on, averaged over the round
        measure::AverageRound round{MS.Averages, MS.AveragesLeft};
        const bool complete = round_.AddBlock(block, count, MS.MeasureLeftOn, MS.MeasureRightOn, round);
        MS.AveragesLeft = round.left;
        if (MS.Averages != 1)
            AverVal->setValue(MS.AveragesLeft);
        if (complete) {
            int rateIn = 0, rateOut = 0;
            audio::GetRates(rateIn, rateOut);
            if (!analyserRound(rateIn, meanLevel, triggerLevel)) {
                SetAnalyserRunning(false);
                platform::ShowMessage(host_.HostWindow(), platform::MessageKind::Warning,
                                      QStringLiteral("Diagram error"));
            }
        }
    }

    // 8. continuation; the audio layer has no stop request of its own, so
    // only the run flag and the mode decide.
    if (!MS.AnalyserRunning)
        return;
    // A device that failed during the block (or went away) ends the run with
    // its reason, rather than the next start failing for a reason of its own.
    if (!block && captureStatus != 0) {
        SetAnalyserRunning(false);
        platform::ShowMessage(host_.HostWindow(), platform::MessageKind::Error,
                              app::Texts().CaptureRestartFailed +
                                  QString::fromStdString(audio::ErrorText(captureStatus)) + ")",
                              true, 17);
        return;
    }
    // A single run ends with its round, a trigger run when the level reached
    // the trigger level; the spectrum then stays.
    const bool done = (MS.RunMode == 0 && MS.AveragesLeft == MS.Averages) ||
                      (MS.RunMode == 2 && meanLevel >= triggerLevel);
    if (done)
        SetAnalyserRunning(false);
    else if (MS.RunMode >= 0 && MS.RunMode <= 2)
        platform::PostMessage(host_.HostWindow(), platform::WM_ANALYSER_NEXT);
}

bool AnalyserPage::analyserRound(int rate, double &meanLevel, double &triggerLevel)
{
    // 6.1
    MS.AveragesLeft = MS.Averages;
    AverVal->setValue(MS.Averages);
    dsp::SpectrumAnalysis &analysis = dsp::UnitAnalysis();
    dsp::AnalysisSettings &a = analysis.settings();
    a.sampleRate = static_cast<double>(rate);
    a.fftSize = MS.FftSize;
    a.windowType = MS.FftWindow;
    // 4. level scale of the current unit
    double factor = 0.0, offset = 0.0, shift = 0.0;
    std::string label;
    display::GetLevelScale(MS.LevelUnit, MS.LevelFactor, MS.LevelOffset, MS.InputCalibration, factor, offset, shift,
                           label, 5);
    const QString unit = QString::fromStdString(label);
    const app::MainTexts &texts = app::Texts();
    const QString filter = QString::fromStdString(a.filterName);
    TDiagramm *d = app::Diagramm;
    const float *left = round_.Left();
    const float *right = round_.Right();

    // 6.2 level line
    if (a.noiseMess && d) {
        const double l = analysis.bandLevel(left, shift, dsp::kLnToDb);
        const double r = analysis.bandLevel(right, shift, dsp::kLnToDb);
        d->SetStatusText("Level: " + texts.LeftTag + Fixed(l, 2) + " | " + texts.RightTag + Fixed(r, 2) +
                         " | Filter: " + filter + Aes17Suffix(a));
    }
    // 6.3 THD+N line
    if (a.thdMess && d) {
        auto part = [&](const float *spectrum) {
            const double thd = analysis.thdN(spectrum, dsp::kLnToDb);
            const double fundamental = a.fundamental;
            if (fundamental == 0.0)
                return texts.NoFundamental;
            return Fixed(fundamental, 0) + "Hz " + (thd == 0.0 ? QStringLiteral("-192") : Fixed(thd, 1)) + "dB";
        };
        const QString l = part(left);
        const QString r = part(right);
        d->SetStatusText("THD+N: " + texts.LeftTag + l + " | " + texts.RightTag + r + " |   Filter: " + filter +
                         Aes17Suffix(a));
    }
    // the harmonics line
    if (a.harmMess && d)
        showDistortion(left, right, rate);
    // 6.4 trigger line
    if (MS.RunMode == 2) {
        const double l = analysis.bandLevel(left, shift, dsp::kLnToDb);
        const double r = analysis.bandLevel(right, shift, dsp::kLnToDb);
        meanLevel = l == 0.0 || r == 0.0 ? dsp::kNoSignalDb : (l + r) / 2.0;
        triggerLevel = 20.0 * platform::Log10(a.threshold);
        if (d)
            d->SetStatusText("act. level " + Fixed(meanLevel, 2) + unit + "    trigg level " + Fixed(triggerLevel, 1) +
                             unit);
    }
    // What the sound server does with the streams: said after the line
    // (the input's stream has just delivered the round's last block).
    if (d) {
        const QString warning = QString::fromStdString(
            audio::StreamWarningLine(audio::CurrentStreamWarnings(true), MS.Language));
        const bool lineShown = a.noiseMess || a.thdMess || a.harmMess || MS.RunMode == 2;
        if (!lineShown)
            d->SetStatusText(warning); // nothing else speaks there: also clears an old warning
        else if (!warning.isEmpty())
            d->SetStatusText(d->StatusText() + "  |  " + warning);
    }
    if (!d)
        return true;

    // 6.5 one point per bin
    d->SetCurvesVisible(MS.MeasureLeftOn, MS.MeasureRightOn);
    const dsp::CorrectionCurve &correction = MS.InputCorrection;
    const int bins = MS.FftSize / 2;
    bool failed = false;
    for (int i = 0; i < bins && MS.AnalyserRunning; ++i) {
        const float f = dsp::BinFrequency(i, MS.FftSize, rate);
        float values[2];
        const float m[2] = {left[i], right[i]};
        const bool on[2] = {MS.MeasureLeftOn, MS.MeasureRightOn};
        for (int c = 0; c < 2; ++c)
            values[c] = static_cast<float>(measure::SpectrumBinLevel(m[c], on[c], factor, offset, correction, f));
        if (d->StorePoint(values, i, f) != 0) {
            failed = true;
            break;
        }
    }
    d->update();
    return !failed;
}

} // namespace app
