// The sweep setup dialog: frequency range, step count and spacing,
// measurement mode, phase display range, digital generator level and settling
// time of a frequency-response sweep; the method START runs (the stepped
// sweep or the log sweep) with the log sweep's own fields, checked against
// the devices' rate on OK; together with the correction files in
// use and the longest capture the current audio formats allow. It edits a
// working copy of the main window's sweep record between Open and Take; the
// caller runs it modally in between. UI thread only.
#pragma once

#include "dsp/correction.h"
#include "settings/sweepsettings.h"

#include <QDialog>
#include <QHash>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class SpinButton;
namespace platform {
class RadioGroup;
}
namespace dialogs {
class DistortionSweepBox;
}

class Twobbeldlg : public QDialog {
    Q_OBJECT
public:
    explicit Twobbeldlg(QWidget *parent = nullptr);

    // 'D' German, 'E' English; any other character changes nothing.
    void SetLanguage(char language);

    // Copies `record` into the working copy and shows it, shows the names of
    // the correction files (greyed while a curve is off) and the longest
    // capture time of the current input and output formats.
    void Open(const app::SweepSettings &record, const dsp::CorrectionCurve &input,
              const dsp::CorrectionCurve &output);
    // After OK: reads the controls, brings the values into their ranges and
    // copies the edited fields into `record`. The run flags and the run
    // fields (CurrentStep, CurrentFreq, Title, YMax, YMin) stay the caller's.
    void Take(app::SweepSettings &record);

    // The working copy.
    const app::SweepSettings &Record() const { return work_; }

    // Help context of the Help button.
    static constexpr int kHelpContext = 0;

    // controls, named as the layout names them
    QLabel *label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label11;
    QLineEdit *Efrom, *Eto, *Esteps, *EPmin, *EPmax, *digPeg, *Sstart;
    SpinButton *SpinButton1, *SpinButton2, *SpinButton3, *SpinBpmin, *SpinBpmax, *SpinButton4, *SpinButton5;
    QGroupBox *GroupBox1, *GroupBox2, *GroupBox3;
    QRadioButton *linearbut, *logbutton;
    platform::RadioGroup *MessungRb;
    QCheckBox *PhaseBut;
    QLabel *messzeit;
    QPushButton *defaultBtn; // object name "default"
    QPushButton *OKBtn, *CancelBtn, *HelpBtn;
    // The method and the log sweep's fields.
    QGroupBox *LogSweepBox;
    QRadioButton *MethodStepped, *MethodLog;
    // The distortion sweep: its method and its fields (distortionsweepbox.h).
    QRadioButton *MethodDistortion;
    dialogs::DistortionSweepBox *DistBox;
    QLabel *LogSecondsLabel, *LogAveragesLabel, *LogWindowLabel, *LogSmoothingLabel;
    QLineEdit *LogSeconds, *LogWindowMs;
    QSpinBox *LogAverages;
    QComboBox *LogSmoothing; // off, 1/48 .. 1/3 octave
    QCheckBox *LogHarmonics;

    // What is wrong with the working copy as a log sweep at the devices'
    // rate, in the dialog's language; empty when it is fine, when the
    // stepped sweep is chosen, or when no device gives a rate.
    QString LogSweepProblem() const;

signals:
    void helpRequested(int context);

protected:
    // Up and Down in an edit step its value like the spin button beside it.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void connectControls();
    // Puts the whole working copy into the controls.
    void ShowRecord();
    // Phase measurement needs a reference channel: modes 0 and 1 only.
    void ApplyModeRules();

    // Immediate edits: a value that passes its test is stored, anything else
    // leaves the working copy as it is.
    void EfromChange(const QString &text);
    void EtoChange(const QString &text);
    void EstepsChange(const QString &text);
    void EPminChange(const QString &text);
    void EPmaxChange(const QString &text);
    void digPegChange(const QString &text);
    void SstartChange(const QString &text);
    void MessungRbClick(int index);
    void PhaseButClick(bool checked);
    void defaultClick();
    // OK: a log sweep the devices cannot run is said and the dialog stays.
    void OKBtnClick();
    void ApplyMethodRules();

    // Spin buttons: `up` is +1 for up, -1 for down; each redisplays the record.
    void SpinFrom(int up);
    void SpinTo(int up);
    void SpinSteps(int up);
    void SpinPhaseMin(int up);
    void SpinPhaseMax(int up);
    void SpinLevel(int up);
    void SpinSettle(int up);

    app::SweepSettings work_;
    bool showing_ = false; // ShowRecord is filling the controls
    char language_ = 'D';
    int rate_ = 0;         // the input device's rate at Open
    QHash<QObject *, SpinButton *> spinOf_;
};
