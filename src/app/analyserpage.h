// The analyser page: its controls, its run state and the round of captured
// blocks it averages into the diagram (measurement/spectrumround.h). The
// main window creates it, hands it the menus it needs through PageHost and
// dispatches WM_ANALYSER_NEXT to it.
#pragma once

#include "measurement/distortionreadout.h"
#include "measurement/spectrumround.h"

#include <QString>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSpinBox;

namespace platform {
class RadioGroup;
}

namespace app {

class PageHost;

class AnalyserPage : public QWidget {
    Q_OBJECT
public:
    explicit AnalyserPage(PageHost &host, QWidget *parent = nullptr);

    // Page enter and leave operations, run by the page control.
    void EnterAnalyserPage();
    void LeaveAnalyserPage();

    void StartButtonClick();
    void StopButtonClick();
    // Run state: the locks while running, the averaging countdown.
    void SetAnalyserRunning(bool on);
    // WM_ANALYSER_NEXT and the capture completion.
    void AnalyserNext();
    void AnalyserBlockReady();

    void FFTpointsgroupClick(int index);
    void FFTwinGroupClick(int index);
    void RunningGroupClick(int index);

    // The round's buffers (allocated while the page is shown) and transform.
    const measure::SpectrumRound &Round() const { return round_; }
    // The harmonics (or intermodulation) of the last round read with the
    // harmonics line on.
    const measure::DistortionReadout &Distortion() const { return distortion_; }
    // Writes Distortion() as text; 0, or an error number of the text file
    // (also when there is nothing to write: -1).
    int SaveDistortionText(const QString &fileName) const;

    // controls, named as the layout names them
    QPushButton *StartButton = nullptr, *StopButton = nullptr;
    platform::RadioGroup *FFTwinGroup = nullptr, *FFTpointsgroup = nullptr, *RunningGroup = nullptr;
    QSpinBox *AverVal = nullptr;
    QLabel *Label6 = nullptr;
    QCheckBox *MeasureLeft = nullptr, *MeasureRight = nullptr;
    QLabel *Label2 = nullptr, *coract = nullptr, *Label15 = nullptr, *Label3 = nullptr;
    QLabel *Lsf = nullptr, *Ldb = nullptr, *Label14 = nullptr;
    QScrollBar *ScrollBar3 = nullptr;
    QPushButton *Binpopt = nullptr;
    QSpinBox *UpDown1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;

private:
    void buildControls();
    // Starts a capture of FftSize + FftSize/8 frames for the analyser; on a
    // failure stops the run and reports the code after `errorPrefix`.
    bool startAnalyserCapture(const QString &errorPrefix);
    // Levels and result lines of a completed averaging round; false on a
    // diagram error. Out: the trigger's mean level and threshold.
    bool analyserRound(int rate, double &meanLevel, double &triggerLevel);

    PageHost &host_;
    // The harmonics line of a complete round (analyserharmonics.cpp).
    void showDistortion(const float *left, const float *right, int rate);

    measure::SpectrumRound round_;
    measure::DistortionReadout distortion_;
};

} // namespace app
