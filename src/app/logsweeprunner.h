// The log sweep on the sweep page: runs measure::LogSweepDriver on the
// current devices when START is pressed with the log sweep chosen, shows
// its progress in the page's readouts, and shows a completed result in the
// diagram (level and phase, or both levels in stereo, as the stepped sweep
// shows them, with H2..H5 and THD as extra curves on request) and in the
// impulse response window, whose time window evaluates the result again
// without a new sweep. A run that does not complete stores nothing: the
// diagram keeps the previous result.
//
// The driver waits for its recording with messages dispatched, so STOP,
// leaving the page and closing the program reach Stop() during Run(); Stop
// frees the devices at once. UI thread only.
#pragma once

#include "dsp/logsweepanalysis.h"
#include "measurement/logsweepdriver.h"

#include <QObject>
#include <QString>
#include <memory>

class QLabel;
class QWidget;

namespace display {
class TImpulseWindow;
}

namespace app {

class LogSweepRunner : public QObject {
    Q_OBJECT
public:
    // `host` parents the messages; `frequency` and `progress` are the
    // page's frequency and level readouts, used for the progress.
    LogSweepRunner(QWidget *host, QLabel *frequency, QLabel *progress);
    ~LogSweepRunner() override;

    // Checks the settings of MS.Sweep against the devices' rate (a message
    // in the program's language when they do not fit) and runs the sweeps.
    // Returns when the run is over, however it ended.
    void Run();
    void Stop();
    bool Running() const { return driver_.Running(); }
    // A completed result is held (shown in the diagram, and in the impulse
    // window when it is open).
    bool HasResult() const { return result_.ChannelCount > 0; }
    const dsp::LogSweepResult &Result() const { return result_; }

    // Shows the held result in the diagram again (after the page set the
    // diagram up anew).
    void ShowInDiagram();
    // The impulse response window, created on first use and shown.
    void ShowImpulseWindow();
    display::TImpulseWindow *ImpulseWindow() { return impulse_.get(); }
    // Evaluates the held run again with the time window `preMs` before and
    // `postMs` after the impulse's peak, and shows it.
    void SetTimeWindow(double preMs, double postMs);

    // Exports, each asking for a file name: the impulse response as a float
    // wave file, the diagram's curves as text.
    void SaveImpulseWave();
    void SaveCurvesText();
    // The same without asking; 0 or an error (and a message).
    int SaveImpulseWave(const QString &fileName);

signals:
    // A run ended (done, stopped or failed).
    void finished();

private:
    void showProgress(int sweep, int sweeps, std::int64_t recorded, std::int64_t due);
    void showImpulse();

    QWidget *host_;
    QLabel *frequency_, *progress_;
    measure::LogSweepDriver driver_;
    dsp::LogSweepResult result_;
    dsp::LogSweepView view_;
    bool evaluable_ = false; // the driver still holds the run result_ came from
    int sweep_ = 0, sweeps_ = 0;
    std::unique_ptr<display::TImpulseWindow> impulse_;
};

} // namespace app
