// The analyser's harmonics line: the harmonics of the tone in a complete
// round, or the intermodulation of the generator's two-tone signal while it
// plays one, read in the analysis settings' band (their lower edge, the
// AES17 edge when chosen, else half the rate; their weighting), and its
// export as text.
#include "app/analyserpage.h"
#include "app/forms.h"
#include "app/mainformtexts.h"
#include "audio/outputengine.h"
#include "audio/synthesis/synthesis.h"
#include "display/diagramwindow.h"
#include "dsp/analysis.h"
#include "generator/wavegen.h"
#include "platform/textfile.h"

#include <QLineEdit>

namespace app {

namespace {

dsp::MeasurementBand AnalyserBand(const dsp::SpectrumAnalysis &analysis)
{
    const dsp::AnalysisSettings &a = analysis.settings();
    dsp::MeasurementBand band;
    band.lowHz = a.lowFreq;
    const double edge = dsp::Aes17UpperHz(a);
    band.limit = edge >= 40000.0 ? dsp::BandLimit::Aes17_40k
                 : edge > 0.0    ? dsp::BandLimit::Aes17_20k
                                 : dsp::BandLimit::HalfRate;
    const dsp::CorrectionCurve &w = analysis.weighting();
    if (w.count() > 0 && w.active()) {
        band.weighting = dsp::BandWeighting::Curve;
        band.curve = &w;
    }
    return band;
}

} // namespace

void AnalyserPage::showDistortion(const float *left, const float *right, int rate)
{
    dsp::SpectrumAnalysis &analysis = dsp::UnitAnalysis();
    const dsp::AnalysisSettings &a = analysis.settings();
    dsp::HarmonicSetup setup;
    setup.band = AnalyserBand(analysis);
    setup.threshold = a.threshold;
    if (!a.fundAuto)
        setup.fundamentalHz = a.fundamental;
    // While the generator plays its two-tone signal, the analyser reads that.
    const dsp::TwoToneSetup *twoTone = nullptr;
    if (app::Wavegen && audio::OutputRunning() && audio::Generator().Waveform == audio::WaveTwoTone)
        twoTone = &app::Wavegen->TwoTone();
    distortion_.Read(left, right, MS.MeasureLeftOn, MS.MeasureRightOn, MS.FftSize, rate, MS.FftWindow, setup,
                     twoTone);
    distortion_.bandText = dsp::BandText(setup.band, rate, MS.Language, a.filterName);
    const app::MainTexts &texts = app::Texts();
    if (TDiagramm *d = app::Diagramm) {
        d->SetStatusText(QString::fromStdString(measure::DistortionReadoutLine(
            distortion_, texts.LeftTag.toStdString(), texts.RightTag.toStdString(), MS.Language)));
        // The line is longer than the field: it is shown from its start.
        if (d->Edit2)
            d->Edit2->setCursorPosition(0);
    }
}

int AnalyserPage::SaveDistortionText(const QString &fileName) const
{
    const std::string text = measure::DistortionReadoutText(distortion_, MS.Language);
    if (text.empty())
        return -1;
    return platform::WriteTextFile(fileName.toStdString(), text);
}

} // namespace app
