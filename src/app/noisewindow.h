// The noise and dynamic-range window ("Rauschen und Dynamik"), opened from
// the Analysis menu: idle noise per channel in dBFS (unweighted up to half
// the rate, A-weighted, in the AES17 20 kHz band and, at rates above
// 80 kHz, the 40 kHz band) with the signal-to-noise ratios re a reference
// level, and the AES17 dynamic range (THD+N of a -60 dBFS 997 Hz tone in the
// 20 kHz band, + 60 dB). The runs are measurement/noisemeasurement.h, the
// same as `sonalyx-measure noise` and `dynamic-range`; the last result is
// saved as the same result document (kinds noise and dynamic_range).
//
// A run waits with messages dispatched, so the window stays responsive;
// Stop (the window's STOP button, its close or Escape, the main window's
// close or Reset) ends it through measure::RequestInterrupt and keeps
// nothing of it. While it runs, the main window keeps its pages and device
// menus locked (RunningChanged), so nothing else takes the devices. No run
// starts while the analyser, a sweep or the oscilloscope runs (BusyReason).
// The generator's record and whether it played are restored after each
// run. Modeless; UI thread only.
#pragma once

#include "measurement/document/measurementdocument.h"
#include "measurement/noisemeasurement.h"

#include <QDialog>
#include <functional>
#include <optional>

class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace app {

class TNoiseWindow : public QDialog {
    Q_OBJECT
public:
    explicit TNoiseWindow(QWidget *parent = nullptr);

    // Captions; 'D' or 'E', other characters change nothing.
    void SetLanguage(char language);

    static constexpr const char *kHelpTopic = "Noise";

    // Why no run may start now ("the analyser runs"); empty when one may.
    std::function<QString()> BusyReason;
    // Told when a run starts (true) and ends (false).
    std::function<void(bool)> RunningChanged;

    // The two runs, as their buttons start them; return when over.
    void MeasureNoise();
    void MeasureDynamicRange();
    // Ends a run in progress.
    void Stop();
    // Stop, for good: the program ends, so the generator is not restarted.
    void Shutdown();
    bool Running() const { return running_; }
    bool HasResult() const { return document_.has_value(); }
    // The last result as a result document; 0, -1 without one, else 1 with
    // a message shown.
    int SaveResult(const QString &fileName);

    QDoubleSpinBox *NoiseReference = nullptr;
    QPushButton *NoiseMeasureBut = nullptr, *DynamicRangeBut = nullptr, *NoiseSaveBut = nullptr;
    QPushButton *NoiseStopBut = nullptr, *NoiseHelpBut = nullptr, *NoiseCloseBut = nullptr;
    QTableWidget *NoiseResults = nullptr;
    QLabel *NoiseStatus = nullptr, *NoiseReferenceLabel = nullptr;

signals:
    void helpRequested(const QString &topic);

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void moveEvent(QMoveEvent *e) override;

private:
    bool mayRun();
    measure::NoiseRunSetup setup() const;
    // Before and after a run: the buttons, and the generator as it was.
    void begin();
    void end();
    void failed(const measure::NoiseRunOutcome &r);
    void showNoise(const measure::IdleNoiseResult &r);
    void showDynamicRange(const measure::DynamicRangeResult &r);
    void showTable();
    void saveClick();
    QString statusText() const;

    bool running_ = false;
    bool shuttingDown_ = false;
    bool generatorWasPlaying_ = false;
    audio::GeneratorSettings generator_;
    // The last completed result: as a document and as what the table shows.
    std::optional<measure::MeasurementDocument> document_;
    std::optional<measure::IdleNoiseResult> noise_;
    std::optional<measure::DynamicRangeResult> range_;
    dsp::MeasurementBand band_;
};

} // namespace app
