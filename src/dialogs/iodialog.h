// The audio I/O parameters dialog: sample rate and resolution of the current
// input or output device (only the combinations the device accepts can be
// chosen), a free "User" rate, channel flip, phase inversion per channel
// and, for output only, the generator's loop mode.
#pragma once

#include <QDialog>
#include <QString>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace audio {

class TIOdialog : public QDialog {
    Q_OBJECT
public:
    explicit TIOdialog(QWidget *parent = nullptr);

    // Set by the caller before showing: edit the input (else the output) device.
    bool ForInput = false;
    // The choice: rate in Hz and resolution (8, 16 or 24).
    int Rate = 44100;
    int Bits = 16;
    // The user rate the dialog holds (kept between showings).
    int UserRate() const { return userRate_; }

    void SetLanguage(char language);
    // Runs on every show: reloads everything from the engine, enables the
    // buttons the device accepts and checks the current choice.
    void FormActivate();

    static constexpr int kRates[7] = {8000, 11025, 22050, 32000, 44100, 48000, 96000};
    static constexpr int kBits[3] = {8, 16, 24};

    // Radio buttons: Grid[row][column] for the fixed rates (b88 ... b9624),
    // User[column] for the user row (bu8, bu16, bu24).
    QRadioButton *Grid[7][3] = {};
    QRadioButton *User[3] = {};
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label13;
    QLineEdit *Edit1;
    QCheckBox *CheckBox1; // flip channels
    QCheckBox *CheckBox2; // loop tone generating (output only)
    QCheckBox *cbInvPhaseL, *cbInvPhaseR;
    QPushButton *BitBtn1, *BitBtn2, *BitBtn3; // OK, Abort, Help

signals:
    void helpRequested(int context);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void Edit1Change(const QString &text);
    void BitBtn1Click();
    void uncheckAll(QRadioButton *const *buttons, int count);

    QButtonGroup *group_;
    int userRate_ = 55200;
    bool inFlip_ = false, outFlip_ = false;
    bool inL_ = false, inR_ = false, outL_ = false, outR_ = false;
    bool loading_ = false;
};

} // namespace audio
