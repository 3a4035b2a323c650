// The scale dialog: gives the diagram's frequency readout its own scale,
// readout = frequency * factor + offset followed by a unit text, so the
// readout can show a quantity derived from the frequency without changing the
// axis. Opened modally by the main window; OK hands the record back.
#pragma once

#include "display/diagramoptions.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

class TSkalDia : public QDialog {
    Q_OBJECT
public:
    explicit TSkalDia(QWidget *parent = nullptr);

    // The captions are German in both languages.
    void SetLanguage(char) {}

    // The program's one scale record: the caller copies the diagram's scale in
    // before exec() and takes it back after OK.
    display::ScaleRecord Record;

    // Factor 1, offset 0, unit "Hz"; the edits follow.
    void defaultClick();
    // OK: a factor that parses and is not 0 is taken, an offset that parses is
    // taken, the unit text is taken; text that does not parse keeps the
    // previous value without a message.
    void BitBtn1Click();

    QLineEdit *Edit1 = nullptr; // factor
    QLineEdit *Edit2 = nullptr; // offset
    QLineEdit *Edit3 = nullptr; // unit
    QPushButton *Default = nullptr; // object name "default"
    QPushButton *BitBtn1 = nullptr, *BitBtn2 = nullptr, *BitBtn3 = nullptr; // OK, cancel, help

    static constexpr int kUnitLength = 255;

signals:
    void helpRequested(int context);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FillEdits();
};

namespace display {
// A number as the scale edits show it: sign or blank, one digit, 14 decimals,
// "E", the exponent's sign and four digits (1.0 reads " 1.00000000000000E+0000").
QString ScientificText(double value);
} // namespace display
