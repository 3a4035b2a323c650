// The distortion sweep's fields in the sweep setup dialog: against frequency
// (from, to in Hz, step count, the fixed level) or against level (from, to
// and step in dB, the fixed frequency), the settling time of each step and
// whether H2 and H3 are drawn. The log/lin spacing is the dialog's own
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

    QComboBox *DistVs;
    QLineEdit *DistFrom, *DistTo, *DistFrequency;
    QSpinBox *DistSteps, *DistStepDb, *DistLevel, *DistSettle;
    QCheckBox *DistHarmonics;
    QLabel *DistVsLabel, *DistFromLabel, *DistToLabel, *DistStepsLabel, *DistStepDbLabel, *DistLevelLabel,
        *DistFrequencyLabel, *DistSettleLabel;

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
