// The analysis parameter dialog: band limits, fundamental (automatic or
// manual), the detection threshold and the weighting filter of the THD+N and
// level readouts. It edits the program's analysis unit (dsp::UnitAnalysis()),
// reads the unit's settings section when it is created and writes it back
// whenever it closes and when it is destroyed. UI thread only.
#pragma once

#include "dsp/analysis.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TAnaly : public QDialog {
    Q_OBJECT
public:
    explicit TAnaly(QWidget *parent = nullptr);
    ~TAnaly() override;

    // 'D' or 'E': captions and the messages of the OK check; others change nothing.
    void SetLanguage(char language);

    // Fills the controls from a settings record (the main window does this
    // before it opens the dialog).
    void FillFromSettings(const dsp::AnalysisSettings &settings);

    // OK: checks the fields in order and reports the first bad one as a
    // warning (the dialog stays open, nothing is stored); otherwise stores
    // them in the analysis unit, selects the filter and accepts.
    void BitBtn1Click();
    // The filter list: "USER" asks for a correction file and loads it into the
    // weighting curve at once; Cancel afterwards puts the previous curve back.
    void ComboBox1Change(int index);

    QLineEdit *Edit1 = nullptr; // low band limit, Hz
    QLineEdit *Edit2 = nullptr; // high band limit, Hz
    QLineEdit *Edit3 = nullptr; // manual fundamental, Hz
    QLineEdit *Edit4 = nullptr; // threshold, dB
    QComboBox *ComboBox1 = nullptr;
    // The AES17 measurement bandwidth: off (the low and high fields), 20 kHz, 40 kHz.
    QComboBox *Aes17Band = nullptr;
    QLabel *Aes17Label = nullptr;
    QCheckBox *CheckBox1 = nullptr; // fundamental automatic
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr, *BitBtn3 = nullptr; // OK, cancel, help
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr;

    // Help context of the Help button.
    static constexpr int kHelpContext = 0;

signals:
    void helpRequested(int context);

protected:
    void done(int result) override;

private:
    void writeSettings() const;

    // The weighting curve as it was before "USER" loaded a file into it.
    dsp::CorrectionCurve savedWeighting_;
    bool weightingSaved_ = false;

    struct Texts {
        QString lowBad, highBad, highNotAbove, fundamentalBad, thresholdBad;
    } texts_;
};
