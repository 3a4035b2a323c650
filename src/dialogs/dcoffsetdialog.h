// The input DC offset dialog: the DC offset that the capture engine removes
// from each input channel of the current input device, set with two bars,
// or automatic removal per block. The values belong to the device's record
// in the audio layer, which applies them and keeps them in the settings;
// this dialog only reads and writes them. Modal; UI thread only.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;

class TDCOffset : public QDialog {
    Q_OBJECT
public:
    explicit TDCOffset(QWidget *parent = nullptr);

    // Captions of the buttons; 'D' or 'E', other characters change nothing.
    void SetLanguage(char language);

    // Help topic of the Help button.
    static constexpr const char *kHelpTopic = "DCMOffset";

    QScrollBar *ScrollBar1 = nullptr, *ScrollBar2 = nullptr; // K1 (left), K2 (right); top = positive
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QCheckBox *AutoDCOffset = nullptr;
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr; // close, help

signals:
    void helpRequested(const QString &topic);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void FormActivate();
    void ScrollBarChange(int channel, int position);
    void AutoDCOffsetClick(bool on);
};
