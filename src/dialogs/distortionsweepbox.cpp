#include "dialogs/distortionsweepbox.h"

#include "platform/numbers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <cmath>

namespace dialogs {

namespace {

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(name);
    return w;
}

// A whole number as typed; false for anything else.
bool Whole(const QLineEdit *e, std::int32_t &out)
{
    long long v = 0;
    if (!platform::ParseInt(e->text().trimmed().toStdString(), v) || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

} // namespace

DistortionSweepBox::DistortionSweepBox(QWidget *parent) : QGroupBox(parent)
{
    setObjectName("DistortionSweepBox");
    auto label = [this](const char *name) { return named(new QLabel(this), name); };
    DistVsLabel = label("DistVsLabel");
    DistVs = named(new QComboBox(this), "DistVs");
    DistVs->addItems({QString(), QString(), QString()});
    DistFromLabel = label("DistFromLabel");
    DistFrom = named(new QLineEdit(this), "DistFrom");
    DistToLabel = label("DistToLabel");
    DistTo = named(new QLineEdit(this), "DistTo");
    DistStepsLabel = label("DistStepsLabel");
    DistSteps = named(new QSpinBox(this), "DistSteps");
    DistSteps->setRange(1, app::kDistStepsMax);
    DistStepDbLabel = label("DistStepDbLabel");
    DistStepDb = named(new QSpinBox(this), "DistStepDb");
    DistStepDb->setRange(1, app::kDistStepDbMax);
    DistLevelLabel = label("DistLevelLabel");
    DistLevel = named(new QSpinBox(this), "DistLevel");
    DistLevel->setRange(app::kDistLevelMin, app::kDistLevelMax);
    DistFrequencyLabel = label("DistFrequencyLabel");
    DistFrequency = named(new QLineEdit(this), "DistFrequency");
    DistSettleLabel = label("DistSettleLabel");
    DistSettle = named(new QSpinBox(this), "DistSettle");
    DistSettle->setRange(0, app::kDistSettleMsMax);
    DistHarmonics = named(new QCheckBox(this), "DistHarmonics");
    DistUnitLabel = label("DistUnitLabel");
    DistUnit = named(new QComboBox(this), "DistUnit");
    DistUnit->addItems({"dBFS", "dBV", "dBu", "W"});
    DistLoadLabel = label("DistLoadLabel");
    DistLoad = named(new QLineEdit(this), "DistLoad");
    DistUnitLabel->setBuddy(DistUnit);
    DistLoadLabel->setBuddy(DistLoad);
    DistVsLabel->setBuddy(DistVs);
    DistFromLabel->setBuddy(DistFrom);
    DistToLabel->setBuddy(DistTo);
    DistStepsLabel->setBuddy(DistSteps);
    DistStepDbLabel->setBuddy(DistStepDb);
    DistLevelLabel->setBuddy(DistLevel);
    DistFrequencyLabel->setBuddy(DistFrequency);
    DistSettleLabel->setBuddy(DistSettle);
    for (QLineEdit *e : {DistFrom, DistTo, DistFrequency, DistLoad})
        e->setMaximumWidth(80);

    auto *g = new QGridLayout(this);
    g->addWidget(DistVsLabel, 0, 0);
    g->addWidget(DistVs, 0, 1);
    g->addWidget(DistSettleLabel, 0, 2);
    g->addWidget(DistSettle, 0, 3);
    g->addWidget(DistFromLabel, 1, 0);
    g->addWidget(DistFrom, 1, 1);
    g->addWidget(DistToLabel, 1, 2);
    g->addWidget(DistTo, 1, 3);
    g->addWidget(DistStepsLabel, 2, 0);
    g->addWidget(DistSteps, 2, 1);
    g->addWidget(DistStepDbLabel, 2, 2);
    g->addWidget(DistStepDb, 2, 3);
    g->addWidget(DistLevelLabel, 3, 0);
    g->addWidget(DistLevel, 3, 1);
    g->addWidget(DistFrequencyLabel, 3, 2);
    g->addWidget(DistFrequency, 3, 3);
    g->addWidget(DistUnitLabel, 4, 0);
    g->addWidget(DistUnit, 4, 1);
    g->addWidget(DistLoadLabel, 4, 2);
    g->addWidget(DistLoad, 4, 3);
    g->addWidget(DistHarmonics, 5, 0, 1, 4);

    connect(DistVs, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto axis = index == 1   ? app::DistortionAxis::Level
                          : index == 2 ? app::DistortionAxis::Imd
                                       : app::DistortionAxis::Frequency;
        if (axis == axis_)
            return;
        keepRange(shown_); // the typed range stays with its axis
        axis_ = axis;
        applyAxis();
    });
    connect(DistUnit, &QComboBox::currentIndexChanged, this, [this] { applyAxis(); });
    SetLanguage('D');
    Show(app::DistortionSweepSettings());
}

void DistortionSweepBox::SetLanguage(char language)
{
    if (language != 'D' && language != 'E')
        return;
    de_ = language == 'D';
    auto t = [this](const char *g, const char *e) { return QString::fromUtf8(de_ ? g : e); };
    setTitle(t("Verzerrungs-Sweep", "Distortion sweep"));
    DistVsLabel->setText(t("\u00fcber", "against"));
    DistVs->setItemText(0, t("Frequenz", "frequency"));
    DistVs->setItemText(1, t("Pegel", "level"));
    DistVs->setItemText(2, t("Zweiton-Pegel (IMD)", "Two-tone level (IMD)"));
    DistUnitLabel->setText(t("Pegelachse", "Level axis"));
    DistLoadLabel->setText(t("Last \u03a9", "Load \u03a9"));
    DistStepsLabel->setText(t("Anzahl Steps", "Step count"));
    DistStepDbLabel->setText(t("Schritt dB", "Step dB"));
    DistLevelLabel->setText(t("Pegel dBFS", "Level dBFS"));
    DistFrequencyLabel->setText(t("Frequenz Hz", "Frequency Hz"));
    DistSettleLabel->setText(t("Einschwingen ms", "Settling ms"));
    DistHarmonics->setText(t("H2 und H3 zeigen", "Show H2 and H3"));
    applyAxis();
}

void DistortionSweepBox::Show(const app::DistortionSweepSettings &s)
{
    shown_ = s;
    axis_ = s.Vs;
    DistVs->blockSignals(true);
    DistVs->setCurrentIndex(static_cast<int>(s.Vs));
    DistVs->blockSignals(false);
    DistSteps->setValue(s.Steps);
    DistStepDb->setValue(s.StepDb);
    DistLevel->setValue(s.LevelDb);
    DistFrequency->setText(QString::fromStdString(platform::FormatShortest(static_cast<float>(s.FrequencyHz))));
    DistSettle->setValue(s.SettleMs);
    DistHarmonics->setChecked(s.Harmonics);
    DistUnit->blockSignals(true);
    DistUnit->setCurrentIndex(static_cast<int>(s.Unit));
    DistUnit->blockSignals(false);
    DistLoad->setText(QString::fromStdString(platform::FormatShortest(static_cast<float>(s.LoadOhms))));
    applyAxis();
}

void DistortionSweepBox::applyAxis()
{
    // The two-tone sweep steps the level too; its tones are the generator's.
    const bool level = axis_ != app::DistortionAxis::Frequency;
    const bool tone = axis_ == app::DistortionAxis::Level;
    auto t = [this](const char *g, const char *e) { return QString::fromUtf8(de_ ? g : e); };
    DistFromLabel->setText(level ? t("von dBFS", "from dBFS") : t("von Hz", "from Hz"));
    DistToLabel->setText(level ? t("bis dBFS", "to dBFS") : t("bis Hz", "to Hz"));
    DistFrom->setText(QString::number(level ? shown_.FromDb : shown_.FromHz));
    DistTo->setText(QString::number(level ? shown_.ToDb : shown_.ToHz));
    for (QWidget *w : std::initializer_list<QWidget *>{DistSteps, DistStepsLabel, DistLevel, DistLevelLabel})
        w->setEnabled(!level);
    for (QWidget *w : std::initializer_list<QWidget *>{DistStepDb, DistStepDbLabel})
        w->setEnabled(level);
    for (QWidget *w : std::initializer_list<QWidget *>{DistFrequency, DistFrequencyLabel})
        w->setEnabled(tone);
    DistHarmonics->setEnabled(axis_ != app::DistortionAxis::Imd);
    // The load counts for the power only.
    const bool watts = DistUnit->currentIndex() == static_cast<int>(app::DistortionUnit::Watt);
    DistLoad->setEnabled(watts);
    DistLoadLabel->setEnabled(watts);
}

void DistortionSweepBox::keepRange(app::DistortionSweepSettings &s) const
{
    std::int32_t from = 0, to = 0;
    const bool fromOk = Whole(DistFrom, from), toOk = Whole(DistTo, to);
    if (axis_ != app::DistortionAxis::Frequency) {
        if (fromOk)
            s.FromDb = from;
        if (toOk)
            s.ToDb = to;
    } else {
        if (fromOk)
            s.FromHz = from;
        if (toOk)
            s.ToHz = to;
    }
}

void DistortionSweepBox::Take(app::DistortionSweepSettings &s) const
{
    s = shown_;
    s.Vs = axis_;
    keepRange(s);
    s.Steps = DistSteps->value();
    s.StepDb = DistStepDb->value();
    s.LevelDb = DistLevel->value();
    double f = 0.0;
    if (platform::ParseFloat(DistFrequency->text().trimmed().toStdString(), f))
        s.FrequencyHz = f;
    s.SettleMs = DistSettle->value();
    s.Harmonics = DistHarmonics->isChecked();
    s.Unit = static_cast<app::DistortionUnit>(DistUnit->currentIndex());
    double load = 0.0;
    if (platform::ParseFloat(DistLoad->text().trimmed().toStdString(), load))
        s.LoadOhms = load;
    app::RepairDistortionSweepSettings(s);
}

} // namespace dialogs
