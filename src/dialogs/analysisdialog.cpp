#include "dialogs/analysisdialog.h"

#include "dsp/weighting.h"
#include "widgets/filedialog.h"
#include "platform/inifile.h"
#include "widgets/messagebox.h"
#include "platform/runtime/utilities.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <climits>
#include <cmath>

namespace {

// A whole number that fits the settings' 32-bit fields.
bool WholeNumber(const QString &text, int &out)
{
    long long v = 0;
    if (!platform::ParseInt(text.trimmed().toStdString(), v) || v > INT_MAX || v < INT_MIN)
        return false;
    out = static_cast<int>(v);
    return true;
}

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(name);
    return w;
}

} // namespace

TAnaly::TAnaly(QWidget *parent) : QDialog(parent)
{
    setObjectName("TAnaly");
    setModal(true);

    Label1 = named(new QLabel(this), "Label1");
    Label2 = named(new QLabel(this), "Label2");
    Label3 = named(new QLabel("Filter", this), "Label3");
    Label4 = named(new QLabel(this), "Label4");
    Label5 = named(new QLabel(this), "Label5");
    Edit1 = named(new QLineEdit(this), "Edit1");
    Edit2 = named(new QLineEdit(this), "Edit2");
    Edit3 = named(new QLineEdit(this), "Edit3");
    Edit4 = named(new QLineEdit(this), "Edit4");
    ComboBox1 = named(new QComboBox(this), "ComboBox1");
    for (int i = 0; i < dsp::WeightingItemCount(); ++i)
        ComboBox1->addItem(QString::fromUtf8(dsp::WeightingItem(i)));
    Aes17Label = named(new QLabel(this), "Aes17Label");
    Aes17Band = named(new QComboBox(this), "Aes17Band");
    Aes17Band->addItems({QString(), QStringLiteral("AES17 20 kHz"), QStringLiteral("AES17 40 kHz")});
    Aes17Label->setBuddy(Aes17Band);
    CheckBox1 = named(new QCheckBox(this), "CheckBox1");
    CheckBox1->setChecked(true);
    Edit3->setEnabled(false);
    BitBtn1 = named(new QPushButton("OK", this), "BitBtn1");
    BitBtn2 = named(new QPushButton(this), "BitBtn2");
    BitBtn3 = named(new QPushButton(this), "BitBtn3");
    BitBtn1->setDefault(true);
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);
    Label3->setBuddy(ComboBox1);
    Label4->setBuddy(Edit3);
    Label5->setBuddy(Edit4);

    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(new QLabel("Hz", this), 0, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Edit2, 1, 1);
    grid->addWidget(new QLabel("Hz", this), 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(ComboBox1, 2, 1, 1, 2);
    grid->addWidget(Aes17Label, 3, 0);
    grid->addWidget(Aes17Band, 3, 1, 1, 2);
    grid->addWidget(CheckBox1, 4, 0, 1, 3);
    grid->addWidget(Label4, 5, 0);
    grid->addWidget(Edit3, 5, 1);
    grid->addWidget(Label5, 6, 0);
    grid->addWidget(Edit4, 6, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);
    grid->addLayout(buttons, 7, 0, 1, 3);

    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) { Edit3->setEnabled(!on); });
    connect(ComboBox1, &QComboBox::activated, this, &TAnaly::ComboBox1Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TAnaly::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn3, &QPushButton::clicked, this, [this] { emit helpRequested(kHelpContext); });

    SetLanguage('D');
    dsp::UnitAnalysis().readSettingsFile(platform::SettingsFileName());
    FillFromSettings(dsp::UnitAnalysis().settings());
}

TAnaly::~TAnaly() { writeSettings(); }

void TAnaly::SetLanguage(char language)
{
    const bool de = language == 'D';
    if (!de && language != 'E')
        return;
    auto t = [de](const char *g, const char *e) { return QString::fromUtf8(de ? g : e); };
    setWindowTitle(t("Analyse Dialog", "Analyze Dialog"));
    Label1->setText(t("Frequenz low", "Frequency low"));
    Label2->setText(t("Frequenz high", "Frequency high"));
    CheckBox1->setText(t("Grundwelle automatisch", "Fundamental automatic"));
    Label4->setText(t("Hz manuell", "Hz manually"));
    Label5->setText(t("dB Schwellwert Automatik", "dB treshhold automatic"));
    Aes17Label->setText(t("Messbandbreite", "Measurement bandwidth"));
    Aes17Band->setItemText(0, t("Frequenz low \u2026 high", "Frequency low \u2026 high"));
    Aes17Band->setItemText(2, t("AES17 40 kHz (Raten \u00fcber 80 kHz)", "AES17 40 kHz (rates above 80 kHz)"));
    BitBtn2->setText(t("Abbruch", "Cancel"));
    BitBtn3->setText(t("Hilfe", "Help"));
    texts_.lowBad = t("Frequenz low nicht korrekt", "Frequency low not correct");
    texts_.highBad = t("Frequenz high nicht korrekt", "Frequency high not correct");
    texts_.highNotAbove = t("Frequenz high sollte größer low sein", "Frequency high must be greater then low value");
    texts_.fundamentalBad = t("Grundfrequenz nicht korrekt", "Fundamental not correct");
    texts_.thresholdBad = t("Pegel Schwellwert nicht korrekt", "Treshhold Value not correct");
}

void TAnaly::FillFromSettings(const dsp::AnalysisSettings &s)
{
    Edit1->setText(QString::number(s.lowFreq));
    Edit2->setText(QString::number(s.highFreq));
    Edit3->setText(QString::number(std::llround(s.fundamental)));
    const double thresholdDb = s.threshold > 0.0 ? 20.0 * platform::Log10(s.threshold) : -60.0;
    Edit4->setText(QString::fromStdString(platform::FormatFixed(thresholdDb, 1)));
    Aes17Band->setCurrentIndex(s.aes17 == 40 ? 2 : s.aes17 == 20 ? 1 : 0);
    CheckBox1->setChecked(s.fundAuto);
    Edit3->setEnabled(!s.fundAuto);
    // A name that is no item (a hand-edited settings file) acts like a user
    // curve: its points are kept and it is on.
    int index = ComboBox1->findText(QString::fromStdString(s.filterName));
    if (index < 0)
        index = ComboBox1->findText(QString::fromUtf8(dsp::kWeightingUser));
    ComboBox1->setCurrentIndex(index);
}

void TAnaly::ComboBox1Change(int index)
{
    if (ComboBox1->itemText(index) != QString::fromUtf8(dsp::kWeightingUser))
        return;
    platform::FileDialogRequest request;
    request.filter = "Filter File (*.cor)";
    request.defaultSuffix = "cor";
    const QString name = platform::AskFileName(this, request);
    if (name.isEmpty())
        return;
    // Loading leaves a curve switched off; whether the weighting is on stays
    // the business of the filter choice on OK.
    dsp::CorrectionCurve &curve = dsp::UnitAnalysis().weighting();
    if (!weightingSaved_) {
        savedWeighting_ = curve;
        weightingSaved_ = true;
    }
    const bool wasActive = curve.active();
    if (curve.loadFromFile(name.toStdString()))
        curve.setActive(wasActive);
}

void TAnaly::BitBtn1Click()
{
    auto refuse = [this](const QString &text) {
        platform::ShowMessage(this, platform::MessageKind::Warning, text);
    };
    int low = 0, high = 0, fundamental = 0;
    if (!WholeNumber(Edit1->text(), low))
        return refuse(texts_.lowBad);
    if (!WholeNumber(Edit2->text(), high))
        return refuse(texts_.highBad);
    if (high <= low)
        return refuse(texts_.highNotAbove);
    if (!WholeNumber(Edit3->text(), fundamental)) // checked even while the field is disabled
        return refuse(texts_.fundamentalBad);
    double thresholdDb = 0.0;
    if (!platform::ParseFloat(Edit4->text().trimmed().toStdString(), thresholdDb) || thresholdDb > 0.0)
        return refuse(texts_.thresholdBad);

    dsp::SpectrumAnalysis &unit = dsp::UnitAnalysis();
    dsp::AnalysisSettings &s = unit.settings();
    s.lowFreq = low;
    s.highFreq = high;
    s.threshold = platform::Pow10(thresholdDb / 20.0);
    s.fundAuto = CheckBox1->isChecked();
    s.fundamental = fundamental;
    s.aes17 = Aes17Band->currentIndex() == 2 ? 40 : Aes17Band->currentIndex() == 1 ? 20 : 0;
    unit.selectFilter(ComboBox1->currentText().toStdString());
    accept();
}

void TAnaly::done(int result)
{
    // A file loaded for "USER" belongs to the choice that Cancel throws away.
    if (result == QDialog::Rejected && weightingSaved_)
        dsp::UnitAnalysis().weighting() = savedWeighting_;
    weightingSaved_ = false;
    QDialog::done(result);
    writeSettings();
}

void TAnaly::writeSettings() const
{
    dsp::UnitAnalysis().writeSettingsFile(platform::SettingsFileName());
}
