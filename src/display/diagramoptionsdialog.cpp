// The diagram options dialog (see diagramoptionsdialog.h).
#include "display/diagramoptionsdialog.h"

#include "display/diagramrenderer.h"
#include "widgets/colordialog.h"
#include "platform/inifile.h"
#include "platform/runtime/messages.h"
#include "widgets/radiogroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

using namespace display;

namespace {

constexpr int kSeparatorLength = 255;

// Colour buttons in the order Button1 ... Button6.
constexpr std::uint32_t DiagramOptions::*kColourFields[6] = {
    &DiagramOptions::ColDiagram, &DiagramOptions::ColGrid,  &DiagramOptions::ColLine1,
    &DiagramOptions::ColMargin,  &DiagramOptions::ColLine2, &DiagramOptions::ColLine3};

std::uint32_t BgrFromColour(const QColor &c)
{
    return std::uint32_t(c.red()) | std::uint32_t(c.green()) << 8 | std::uint32_t(c.blue()) << 16;
}

void SetTextColour(QWidget *w, std::uint32_t bgr)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, ColourFromBgr(bgr));
    w->setPalette(p);
}

// A whole number typed into a frequency field.
bool ParseHz(const QString &text, std::int32_t &out)
{
    long long v = 0;
    if (!platform::ParseInt(text.trimmed().toStdString(), v) || v < INT_MIN || v > INT_MAX)
        return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

// A number typed into a level field; what does not fit a float (infinity,
// NaN, 1e39) is no number here.
bool ParseLevel(const QString &text, float &out)
{
    double v = 0.0;
    if (!platform::ParseFloat(text.trimmed().toStdString(), v) || !std::isfinite(static_cast<float>(v)))
        return false;
    out = static_cast<float>(v);
    return true;
}

template <class W>
W *named(W *w, const QString &name)
{
    w->setObjectName(name);
    return w;
}

} // namespace

Tdiadlg::Tdiadlg(QWidget *parent) : QDialog(parent)
{
    setObjectName("Tdiadlg");
    setModal(false);
    QFont f = font();
    f.setPointSize(8);
    f.setBold(true);
    setFont(f);

    auto *colours = new QGridLayout;
    QLabel **labels[6] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label15};
    const char *labelNames[6] = {"Label1", "Label2", "Label3", "Label4", "Label5", "Label15"};
    const int rowOf[6] = {0, 1, 3, 2, 4, 5}; // diagram, grid, margin, line 1, line 2, line 3
    for (int i = 0; i < 6; ++i) {
        *labels[i] = named(new QLabel(this), labelNames[i]);
        Shape[i] = named(new QFrame(this), QStringLiteral("Shape%1").arg(i + 1));
        Shape[i]->setFrameShape(QFrame::Box);
        Shape[i]->setFixedSize(40, 18);
        Shape[i]->setAutoFillBackground(true);
        Button[i] = named(new QPushButton(this), QStringLiteral("Button%1").arg(i + 1));
        (*labels[i])->setBuddy(Button[i]);
        colours->addWidget(*labels[i], rowOf[i], 0);
        colours->addWidget(Shape[i], rowOf[i], 1);
        colours->addWidget(Button[i], rowOf[i], 2);
        connect(Button[i], &QPushButton::clicked, this, [this, i] { ColourButtonClick(i); });
    }
    Label15->setText(QStringLiteral("Peak/Dif."));
    coldefault = named(new QPushButton(QStringLiteral(" default Colors"), this), "coldefault");
    colours->addWidget(coldefault, 6, 0, 1, 3);
    LogDia = named(new QCheckBox(this), "LogDia");
    colours->addWidget(LogDia, 7, 0, 1, 3);

    auto rangeBox = [this](QLabel *&title, const char *name, QLineEdit *&lo, const char *loName,
                           QLineEdit *&hi, const char *hiName) {
        auto *g = new QGridLayout;
        title = named(new QLabel(this), name);
        lo = named(new QLineEdit(this), loName);
        hi = named(new QLineEdit(this), hiName);
        auto *minLabel = new QLabel(QStringLiteral("min"), this);
        auto *maxLabel = new QLabel(QStringLiteral("max"), this);
        minLabel->setBuddy(lo);
        maxLabel->setBuddy(hi);
        title->setBuddy(lo);
        g->addWidget(title, 0, 0, 1, 2);
        g->addWidget(minLabel, 1, 0);
        g->addWidget(maxLabel, 1, 1);
        g->addWidget(lo, 2, 0);
        g->addWidget(hi, 2, 1);
        return g;
    };
    QGridLayout *freq = rangeBox(Label8, "Label8", Edit1, "Edit1", Edit2, "Edit2");
    QGridLayout *level = rangeBox(Label9, "Label9", Edit3, "Edit3", Edit4, "Edit4");

    auto *stepping = new QGridLayout;
    Label12 = named(new QLabel(QStringLiteral("Stepping"), this), "Label12");
    CheckBox1 = named(new QCheckBox(QStringLiteral("Auto"), this), "CheckBox1");
    Edit5 = named(new QLineEdit(this), "Edit5");
    auto *dbLabel = new QLabel(QStringLiteral("dB"), this);
    Label12->setBuddy(CheckBox1);
    dbLabel->setBuddy(Edit5);
    Label14 = named(new QLabel(QStringLiteral("Textfile Separator"), this), "Label14");
    Edit6 = named(new QLineEdit(this), "Edit6");
    Edit6->setMaxLength(kSeparatorLength);
    Label14->setBuddy(Edit6);
    stepping->addWidget(Label12, 0, 0, 1, 3);
    stepping->addWidget(CheckBox1, 1, 0);
    stepping->addWidget(Edit5, 1, 1);
    stepping->addWidget(dbLabel, 1, 2);
    stepping->addWidget(Label14, 2, 0, 1, 3);
    stepping->addWidget(Edit6, 3, 0, 1, 2);

    MessVon = named(new platform::RadioGroup(QString(), this), "MessVon");
    MessVon->setItems({QString(), QString(), QString()});

    auto *peak = named(new QGroupBox(QStringLiteral("Peak / Dif."), this), "GroupBox1");
    auto *pl = new QGridLayout(peak);
    CheckBox2 = named(new QCheckBox(peak), "CheckBox2");
    CheckBox3 = named(new QCheckBox(peak), "CheckBox3");
    Button7 = named(new QPushButton(QStringLiteral(" Reset Peak"), peak), "Button7");
    ComboBox1 = named(new QComboBox(peak), "ComboBox1");
    ComboBox1->setAccessibleName(QStringLiteral("Peak / Dif."));
    pl->addWidget(CheckBox2, 0, 0);
    pl->addWidget(CheckBox3, 0, 1);
    pl->addWidget(Button7, 1, 0);
    pl->addWidget(ComboBox1, 1, 1);

    BitBtn1 = named(new QPushButton(this), "BitBtn1");
    CloseBut = named(new QPushButton(QStringLiteral("CLOSE"), this), "CloseBut");
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addStretch();
    buttons->addWidget(CloseBut);

    auto *right = new QVBoxLayout;
    right->addLayout(freq);
    right->addLayout(level);
    right->addLayout(stepping);
    right->addStretch();
    auto *top = new QHBoxLayout;
    top->addLayout(colours);
    top->addLayout(right);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(MessVon);
    bottom->addWidget(peak, 1);
    auto *all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addLayout(bottom);
    all->addLayout(buttons);

    connect(coldefault, &QPushButton::clicked, this, &Tdiadlg::coldefaultClick);
    connect(LogDia, &QCheckBox::toggled, this, [this](bool on) {
        record_.LogX = on;
        Changed();
    });
    connect(Edit1, &QLineEdit::textChanged, this, &Tdiadlg::Edit1Change);
    connect(Edit2, &QLineEdit::textChanged, this, &Tdiadlg::Edit2Change);
    connect(Edit3, &QLineEdit::textChanged, this, &Tdiadlg::Edit3Change);
    connect(Edit4, &QLineEdit::textChanged, this, &Tdiadlg::Edit4Change);
    connect(Edit5, &QLineEdit::textChanged, this, &Tdiadlg::Edit5Change);
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) {
        record_.YStepAuto = on;
        Edit5->setEnabled(!on);
        Changed();
    });
    connect(Edit6, &QLineEdit::textChanged, this, [this](const QString &text) {
        record_.Separator = text.left(kSeparatorLength).toStdString();
        Changed();
    });
    connect(MessVon, &platform::RadioGroup::itemClicked, this, &Tdiadlg::MessVonClick);
    connect(CheckBox2, &QCheckBox::toggled, this, &Tdiadlg::CheckBox2Click);
    connect(CheckBox3, &QCheckBox::toggled, this, &Tdiadlg::CheckBox3Click);
    connect(Button7, &QPushButton::clicked, this, [this] {
        record_.ResetPeakRequest = 1;
        Changed();
    });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, &Tdiadlg::ComboBox1Change);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { emit helpRequested(kHelpContext); });
    connect(CloseBut, &QPushButton::clicked, this, &QWidget::hide);

    SetLanguage('D');
    LoadOptions(record_);
    resize(std::max(296, sizeHint().width()), std::max(384, sizeHint().height()));
}

void Tdiadlg::SetLanguage(char language)
{
    const bool de = language == 'D';
    if (!de && language != 'E')
        return;
    auto t = [de](const char *g, const char *e) { return QString::fromUtf8(de ? g : e); };
    setWindowTitle(t("Diagramm Optionen", "Diagram options"));
    Label1->setText(t("Diagrammfarbe", "Diagram color"));
    Label2->setText(t("Gitterfarbe", "Grid color"));
    Label4->setText(t("Randfarbe", "Margin color"));
    Label3->setText(t("Kurve 1", "Line 1"));
    Label5->setText(t("Kurve 2", "Line 2"));
    Label8->setText(t("Frequenz in Hz", "Frequency in Hz"));
    Label9->setText(t("Pegel in dB[FS]", "Level in dB[FS]"));
    QLabel *labels[6] = {Label1, Label2, Label3, Label4, Label5, Label15};
    for (int i = 0; i < 6; ++i) {
        Button[i]->setText(t("ändern", "change"));
        Button[i]->setAccessibleName(labels[i]->text() + " " + Button[i]->text());
    }
    CheckBox2->setText(t("Peak K 1", "Peak L 1"));
    CheckBox3->setText(t("Peak K 2", "Peak L 2"));
    LogDia->setText(t("log. Diagramm", "log. diagram"));
    MessVon->setTitle(t("Messen von", "Meas. of"));
    MessVon->setItemTexts({t("Pegel", "Level"), t("Frequenz", "Frequency"), t("Flanken", "Slope")});
    BitBtn1->setText(t("Hilfe", "Help"));
    Edit1->setAccessibleName(Label8->text() + " min");
    Edit2->setAccessibleName(Label8->text() + " max");
    Edit3->setAccessibleName(Label9->text() + " min");
    Edit4->setAccessibleName(Label9->text() + " max");
    Edit5->setAccessibleName(QStringLiteral("Stepping dB"));
    {
        const QSignalBlocker block(ComboBox1);
        ComboBox1->clear();
        ComboBox1->addItems({t("keine Dif.", "no Dif."), t("K1-K2", "L1-L2"), t("K2-K1", "L2-L1"),
                             t("K1+K2", "L1+L2")});
        ComboBox1->setCurrentIndex(std::clamp(record_.DifMode, 0, 3));
    }
}

// ---------------------------------------------------------------- record exchange

void Tdiadlg::LoadOptions(const DiagramOptions &options)
{
    record_ = options;
    record_.ResetPeakRequest = 0;
    FillControls();
}

void Tdiadlg::GetOptions(DiagramOptions &options) const
{
    options = record_;
    posted_ = false;
}

void Tdiadlg::ShowEditor()
{
    show();
    raise();
    activateWindow();
}

void Tdiadlg::FillControls()
{
    // Filled controls would post the record the diagram already has, once
    // per control: they are silenced instead.
    QWidget *controls[] = {LogDia, Edit1, Edit2, Edit3, Edit4, Edit5, Edit6, CheckBox1, CheckBox2,
                           CheckBox3, MessVon, ComboBox1};
    std::vector<std::unique_ptr<QSignalBlocker>> blocks;
    for (QWidget *w : controls)
        blocks.push_back(std::make_unique<QSignalBlocker>(w));
    ShowColours();
    MessVon->setItemIndex(record_.MeasureLevel ? 0 : record_.MeasureFrequency ? 1 : record_.MeasureSlope ? 2 : -1);
    LogDia->setChecked(record_.LogX);
    Edit1->setText(QString::number(record_.OptXMin));
    Edit2->setText(QString::number(record_.OptXMax));
    Edit3->setText(QString::fromStdString(platform::FormatFixed(record_.OptYMin, 3)));
    Edit4->setText(QString::fromStdString(platform::FormatFixed(record_.OptYMax, 3)));
    Edit5->setText(QString::fromStdString(platform::FormatFixed(record_.YStep, 3)));
    CheckBox1->setChecked(record_.YStepAuto);
    Edit5->setEnabled(!record_.YStepAuto);
    Edit6->setText(QString::fromStdString(record_.Separator));
    CheckBox2->setChecked(record_.PeakK1);
    CheckBox3->setChecked(record_.PeakK2);
    ComboBox1->setCurrentIndex(std::clamp(record_.DifMode, 0, 3));
}

void Tdiadlg::ShowColours()
{
    for (int i = 0; i < 6; ++i) {
        QPalette p = Shape[i]->palette();
        p.setColor(QPalette::Window, ColourFromBgr(Colour(i)));
        Shape[i]->setPalette(p);
    }
    SetTextColour(CheckBox2, record_.ColLine1);
    SetTextColour(CheckBox3, record_.ColLine2);
}

std::uint32_t &Tdiadlg::Colour(int index) { return record_.*kColourFields[index]; }

void Tdiadlg::Changed()
{
    if (posted_ || !target_)
        return;
    posted_ = platform::PostMessage(target_, platform::WM_DIAGRAM_OPTIONS);
}

// ---------------------------------------------------------------- control handlers

void Tdiadlg::ColourButtonClick(int index)
{
    const std::optional<QColor> chosen = platform::AskColour(this, ColourFromBgr(Colour(index)), windowTitle());
    if (!chosen)
        return;
    Colour(index) = BgrFromColour(*chosen);
    ShowColours();
    Changed();
}

void Tdiadlg::coldefaultClick()
{
    // Cursor and text colours have no control here and stay as they are.
    record_.ColDiagram = kDefaultColDiagram;
    record_.ColGrid = kDefaultColGrid;
    record_.ColLine1 = kDefaultColLine1;
    record_.ColMargin = kDefaultColMargin;
    record_.ColLine2 = kDefaultColLine2;
    record_.ColLine3 = kDefaultColLine3;
    ShowColours();
    Changed();
}

// Every number is judged as typed, so each digit that gives a valid range
// redraws the diagram at once; a number that would invert the range is not
// taken and the field keeps showing it.
void Tdiadlg::Edit1Change()
{
    std::int32_t v = 0;
    if (!ParseHz(Edit1->text(), v))
        return;
    if (v >= 1 && v <= 50000 && v < record_.OptXMax)
        record_.OptXMin = v;
    Changed();
}

void Tdiadlg::Edit2Change()
{
    std::int32_t v = 0;
    if (!ParseHz(Edit2->text(), v))
        return;
    if (v >= 1 && v <= 50000 && v > record_.OptXMin)
        record_.OptXMax = v;
    Changed();
}

void Tdiadlg::Edit3Change()
{
    float v = 0.0f;
    if (!ParseLevel(Edit3->text(), v))
        return;
    if (v < record_.OptYMax)
        record_.OptYMin = v;
    Changed();
}

void Tdiadlg::Edit4Change()
{
    float v = 0.0f;
    if (!ParseLevel(Edit4->text(), v))
        return;
    if (v > record_.OptYMin)
        record_.OptYMax = v;
    Changed();
}

void Tdiadlg::Edit5Change()
{
    // A step of 0 would freeze the manual stepping and one below 0 invert it.
    float v = 0.0f;
    if (!ParseLevel(Edit5->text(), v) || !(v > 0.0f))
        return;
    record_.YStep = v;
    Changed();
}

void Tdiadlg::MessVonClick(int index)
{
    if (index < 0 || index > 2)
        return;
    record_.MeasureLevel = index == 0;
    record_.MeasureFrequency = index == 1;
    record_.MeasureSlope = index == 2;
    Changed();
}

// Peak hold and difference curve share curve 3 and exclude each other.
void Tdiadlg::CheckBox2Click(bool checked)
{
    if (checked) {
        CheckBox3->setChecked(false);
        record_.PeakK2 = 0;
        record_.DifMode = DifNone;
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(0);
    }
    record_.PeakK1 = checked;
    Changed();
}

void Tdiadlg::CheckBox3Click(bool checked)
{
    if (checked) {
        CheckBox2->setChecked(false);
        record_.PeakK1 = 0;
        record_.DifMode = DifNone;
        const QSignalBlocker block(ComboBox1);
        ComboBox1->setCurrentIndex(0);
    }
    record_.PeakK2 = checked;
    Changed();
}

void Tdiadlg::ComboBox1Change(int index)
{
    if (index < 0 || index > 3)
        return;
    record_.DifMode = index;
    if (index != DifNone) {
        CheckBox2->setChecked(false);
        CheckBox3->setChecked(false);
        record_.PeakK1 = record_.PeakK2 = 0;
    }
    Changed();
}
