// The distortion sweep on the sweep page: runs measure::DistortionSweep on
// the current devices when START is pressed with the distortion method
// chosen, against frequency, against level or against the level of the
// generator window's two-tone signal as the sweep settings' Dist record
// says, shows its progress in the page's readouts, and shows a completed run
// in the diagram: THD+N and THD (and H2, H3), or IMD (CCIF: d2 and d3), of
// the measured channel (both channels in stereo) as extra curves in dB,
// against frequency or against the output level. The output level is the
// generator's level in dBFS, or in dBV or dBu the RMS voltage of a sine of
// that peak through the output calibration (millivolts at full scale), on a
// linear axis; or the power of that voltage into the load in W (in the
// prefix that keeps the smallest power at 1 or more) on the diagram's log
// axis. An axis in volts or watts without a usable output calibration is
// refused at START. A run that does not complete (STOP, leaving the page, a
// failure, a refusal) stores nothing: the diagram and the held result stay
// as they were.
//
// The run waits with messages dispatched, so STOP reaches Stop() during
// Run(). UI thread only.
#pragma once

#include "measurement/distortionsweep.h"

#include <QObject>
#include <QString>
#include <vector>

class QLabel;
class QWidget;

namespace app {

struct SweepSettings;

class DistortionSweepRunner : public QObject {
    Q_OBJECT
public:
    DistortionSweepRunner(QWidget *host, QLabel *frequency, QLabel *progress);

    // The run's setup from the sweep settings: the Dist record, the log/lin
    // spacing and the mode's channels, the two-tone signal `twoTone` (its
    // level is each step's); FFT 16384 points, Rife-Vincent 3, the
    // analyser's AES17 bandwidth when chosen (else up to half the rate).
    static measure::DistortionSweepSetup SetupOf(const SweepSettings &w, int rate, const dsp::TwoToneSetup &twoTone);

    // Checks and runs the steps; returns when the run is over.
    void Run();
    void Stop();
    bool Running() const { return running_; }
    bool HasResult() const { return !result_.empty(); }
    const std::vector<measure::DistortionStep> &Result() const { return result_; }

    // Shows the held result in the diagram again.
    void ShowInDiagram();
    // The diagram's axes back to what the other methods show.
    void ReleaseDiagram();
    // The held result as a text table; 0, an error number, or -1 without one.
    int SaveText(const QString &fileName) const;

signals:
    void finished();

private:
    // A step's generator level in the held result's unit.
    double LevelInUnit(std::int32_t levelDb) const;

    QWidget *host_;
    QLabel *frequency_, *progress_;
    measure::DistortionSweep sweep_;
    bool running_ = false;
    std::vector<measure::DistortionStep> pending_, result_;
    measure::DistortionSweepKind kind_ = measure::DistortionSweepKind::Frequency;
    bool channels_[2] = {false, true};
    // What the held result was taken with: CCIF, the level axis's unit
    // (display::OutputLevelUnit), the output calibration and the load.
    bool ccif_ = false;
    int unit_ = 0;
    double calibrationMv_ = 0.0, loadOhms_ = 8.0;
};

} // namespace app
