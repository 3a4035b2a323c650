// The signal generator window: waveform, frequency, level and phase per
// channel, analog output volume, a user wave file and the two-tone signals
// of intermodulation (SMPTE, DIN, CCIF). It keeps them in the output
// engine's generator record, applies the output correction to sine levels
// and starts and stops the output. Settings in section "GEN".
#pragma once

#include "dsp/intermodulation.h"

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class SpinButton;

namespace audio {
struct GeneratorSettings;
class TIOdialog;
}
namespace platform {
class RadioGroup;
}

class TWavegen : public QWidget {
    Q_OBJECT
public:
    explicit TWavegen(QWidget *parent = nullptr);
    ~TWavegen() override;

    void SetLanguage(char language);

    // Takes the controls into the record and, when output runs, a file plays
    // or `forceStart`, (re)starts the output. Returns 0 or the engine's error
    // number; 1 when a user wave file could not be played.
    int Apply(bool forceStart, bool refresh);

    // Frequency in Hz; setting it also refreshes the display.
    void SetFrequency(float hz);
    float ReadFrequency() const;

    // Start, stop (the main window's reset calls GstopClick).
    void GstartClick();
    void GstopClick();

    // Running: the engine plays or a wave file plays.
    bool Running() const;

    // While a sweep runs, the output is the sweep's: every control that
    // would change what plays is disabled and Apply leaves the output alone.
    // The analog volume stays usable, as it only drives the mixer. Ending
    // the lock gives the controls back the states they had.
    void SetSweepRunning(bool running);
    bool SweepRunning() const { return sweepRunning_; }

    // The analog output volume in percent, moved by the main window's output
    // slider; does not emit analogVolumeChanged.
    void SetAnalogVolume(int percent);
    // The analog volume control follows the mixer support.
    void SetMixerControlsEnabled(bool on);

    // The I/O dialog that "Opt." opens for the output device.
    void SetOptionsDialog(audio::TIOdialog *dialog) { options_ = dialog; }

    // Section "GEN" of the settings file.
    void LoadSettings();
    void SaveSettings();

    // controls, named as the layout names them
    QLabel *Panel1;
    QLineEdit *GfreqText;
    SpinButton *GrobSpin, *FeinSpin;
    QScrollBar *ScrollBar4, *ScrollBar1, *ScrollBar2;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
    QLineEdit *phL, *phR;
    platform::RadioGroup *RadioGroup1;
    QPushButton *UserBut, *Gstart, *Gstop, *WOoptBut;
    QLabel *PrecOut;
    // The two-tone signal: its standard, SMPTE/DIN's tones and ratio, CCIF's
    // centre and spacing, and why a setup cannot be played.
    QComboBox *TwoToneStd;
    QLineEdit *TwoToneLow, *TwoToneHigh, *TwoToneRatio, *TwoToneCentre, *TwoToneSpacing;
    QLabel *TwoToneStatus;

    // The two-tone setup the window plays when its waveform is two-tone.
    const dsp::TwoToneSetup &TwoTone() const { return twoTone_; }

    // Steps of the spin buttons, public for the main window's keyboard use.
    void GrobSpinUpClick();
    void GrobSpinDownClick();
    void FeinSpinUpClick();
    void FeinSpinDownClick();

signals:
    // The user moved the analog volume (percent): the mixer's output volume
    // and the main window's output slider follow.
    void analogVolumeChanged(int percent);

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void GfreqTextChange(const QString &text);
    void GfreqTextExit();
    void levelChanged();
    void phaseChanged();
    void ScrollBar2Change(int position);
    void RadioGroup1Click(int index);
    void UserButClick();
    void WOoptButClick();
    void TwoToneStdChange(int index);
    void twoToneFieldsDone();
    void showTwoTone();
    // Plays the two-tone signal; 0, the engine's error number, or 1 when the
    // setup cannot be played (TwoToneStatus says why).
    int startTwoTone(audio::GeneratorSettings &g);

    // The output stopped on its own (a refill that could not queue again).
    void OutputFailed(int code);
    void showFrequency();
    void showLevels();
    void setRunningColours(bool running);
    void setLevelControlsEnabled(bool on);

    audio::TIOdialog *options_ = nullptr;
    QString errorPrefix_ = "Fehler bei Frequenzausgabe (";
    bool loading_ = false;
    bool playing_ = false; // Start was pressed and Stop not yet
    bool saved_ = false;
    bool sweepRunning_ = false;
    QList<QWidget *> sweepLocked_; // the controls the sweep disabled
    dsp::TwoToneSetup twoTone_;
};
