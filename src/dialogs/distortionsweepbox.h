// The distortion sweep's fields in the sweep setup dialog: against frequency
// (from, to in Hz, step count, the fixed level) or against level (from, to
// and step in dB, the fixed frequency) or against the level of the
// generator's two-tone signal (from, to and step in dB), the settling time
// of each step, whether H2 and H3 are drawn, and the unit of the level axis
// with the load for the power. The log/lin spacing is the dialog's own
// choice. UI thread only.
#pragma once

#include "settings/distortionsweepsettings.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace dialogs {

class DistortionSweepBox : public QGroupBox {
    Q_OBJECT
public:
    explicit DistortionSweepBox(QWidget *parent = nullptr);

    void SetLanguage(char language);
    // Puts `s` into the controls.
    void Show(const app::DistortionSweepSettings &s);
    // The controls as typed into `s`, brought into the ranges
    // (app::RepairDistortionSweepSettings).
    void Take(app::DistortionSweepSettings &s) const;

    QComboBox *DistVs, *DistUnit;
    QLineEdit *DistFrom, *DistTo, *DistFrequency, *DistLoad;
    QSpinBox *DistSteps, *DistStepDb, *DistLevel, *DistSettle;
    QCheckBox *DistHarmonics;
    QLabel *DistVsLabel, *DistFromLabel, *DistToLabel, *DistStepsLabel, *DistStepDbLabel, *DistLevelLabel,
        *DistFrequencyLabel, *DistSettleLabel, *DistUnitLabel, *DistLoadLabel;

private:
    // Shows the fields of the chosen axis and the range's unit.
    void applyAxis();
    // The range fields into the pair of the axis they show.
    void keepRange(app::DistortionSweepSettings &s) const;

    app::DistortionSweepSettings shown_; // the pair of the axis not shown
    app::DistortionAxis axis_ = app::DistortionAxis::Frequency;
    bool de_ = true;
};

} // namespace dialogs
