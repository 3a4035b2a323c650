// The sound card selection dialog: lists the input or output devices and lets
// the user pick one of the first kMaxDevices.
#pragma once

#include <QDialog>
#include <QString>

class QListWidget;
class QPushButton;

namespace audio {

class TSCdia : public QDialog {
    Q_OBJECT
public:
    explicit TSCdia(QWidget *parent = nullptr);

    // Set by the caller before showing: the device to highlight and the kind.
    int Selected = 0;
    bool ForInput = false;

    void SetLanguage(char language);
    // Runs on every show: fresh device report, caption, list, highlight.
    void FormActivate();

    QListWidget *ListBox1;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void ListBox1Click(int row);

    QString inputTitle_ = "Select input device";
    QString outputTitle_ = "Select output device";
    QString messageFirst_ = "Support for only ";
    QString messageSecond_ = " sounddevices";
    bool filling_ = false;
};

} // namespace audio
