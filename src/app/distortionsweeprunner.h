// The distortion sweep on the sweep page: runs measure::DistortionSweep on
// the current devices when START is pressed with the distortion method
// chosen, against frequency or against level as the sweep settings' Dist
// record says, shows its progress in the page's readouts, and shows a
// completed run in the diagram: THD+N and THD (and H2, H3) of the measured
// channel (both channels in stereo) as extra curves in dB, against frequency
// or against the output level in dBFS (a linear axis). A run that does not
// complete (STOP, leaving the page, a failure) stores nothing: the diagram
// and the held result stay as they were.
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
    // spacing and the mode's channels; FFT 16384 points, Rife-Vincent 3, the
    // analyser's AES17 bandwidth when chosen (else up to half the rate).
    static measure::DistortionSweepSetup SetupOf(const SweepSettings &w, int rate);

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
    QWidget *host_;
    QLabel *frequency_, *progress_;
    measure::DistortionSweep sweep_;
    bool running_ = false;
    std::vector<measure::DistortionStep> pending_, result_;
    measure::DistortionSweepKind kind_ = measure::DistortionSweepKind::Frequency;
    bool channels_[2] = {false, true};
};

} // namespace app
