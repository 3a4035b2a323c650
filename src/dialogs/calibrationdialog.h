// The calibration dialog: a live input reading for finding the voltage at
// which the input just overloads, the entry of that voltage and of the level
// factor and offset of the spectrum display. Not modal; it asks the main
// window to stop its measurements before it reads the input
// (WM_STOP_MEASUREMENTS) and to take over the values on OK
// (WM_CALIBRATION_DONE). UI thread only.
#pragma once

#include "dsp/calibration.h"

#include <QDialog>
#include <cstdint>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TEichDlg : public QDialog {
    Q_OBJECT
public:
    explicit TEichDlg(QWidget *parent = nullptr);

    // 'D' or 'E': captions and messages; other characters change nothing.
    void SetLanguage(char language);

    // Fills the fields and starts afresh (no reading, no result, EichmV
    // enabled). `mainWindow` receives the two messages. The caller shows the
    // dialog.
    void Open(QObject *mainWindow, float offset, float factor, float voltageMv);
    // The three fields as numbers; false unless they read (see
    // dsp::ReadCalibrationValues).
    bool ReadValues(dsp::CalibrationValues &out) const;
    // The values accepted by the last OK since Open; false when there are none.
    bool Result(dsp::CalibrationValues &out) const;

    bool Running() const { return running_; }
    bool Measured() const { return measured_; }

    void Button1Click(); // Begin
    void Button2Click(); // End
    void OKBtnClick();

    QGroupBox *GroupBox1 = nullptr, *GroupBox2 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr;
    QLabel *Label6 = nullptr, *Label7 = nullptr, *Label8 = nullptr; // the three lines about the analyser
    QLineEdit *EichmV = nullptr, *Edit2 = nullptr, *Edit3 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr;
    QPushButton *OKBtn = nullptr, *CancelBtn = nullptr, *HelpBtn = nullptr;

    static constexpr int kHelpContext = 0;

signals:
    void helpRequested(int context);

protected:
    bool event(QEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void startReading();
    void readingReady();
    void stopReading(bool enableVoltage);

    QObject *mainWindow_ = nullptr;
    bool running_ = false;
    bool measured_ = false;
    // Every capture carries a tag of its own; those from sessionFirstTag_ on
    // belong to this opening, earlier ones are dropped.
    std::uint32_t nextTag_ = 1;
    std::uint32_t sessionFirstTag_ = 1;
    bool inFlight_ = false;       // the reading's capture flightTag_ is running or queued
    std::uint32_t flightTag_ = 0;
    bool hasResult_ = false;
    dsp::CalibrationValues result_;
};
