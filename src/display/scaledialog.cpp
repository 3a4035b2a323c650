// The scale dialog (see scaledialog.h).
#include "display/scaledialog.h"

#include "platform/inifile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace display {

QString ScientificText(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    // The formatter gives at least two exponent digits; the edits show four.
    const std::string text = platform::FormatNumber(std::fabs(value), 'E', 14);
    const std::size_t e = text.find('E');
    const int exponent = std::atoi(text.c_str() + e + 1);
    const QString mantissa = QString::fromLatin1(text.data(), int(e));
    return QStringLiteral("%1%2E%3%4")
        .arg(value < 0 ? QLatin1Char('-') : QLatin1Char(' '))
        .arg(mantissa)
        .arg(exponent < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(std::abs(exponent), 4, 10, QLatin1Char('0'));
}

} // namespace display

namespace {

// A number typed into the factor or offset field that fits the record's float.
bool ParseScaleNumber(const QString &text, float &out)
{
    double v = 0.0;
    if (!platform::ParseFloat(text.trimmed().toStdString(), v) || !std::isfinite(static_cast<float>(v)))
        return false;
    out = static_cast<float>(v);
    return true;
}

} // namespace

TSkalDia::TSkalDia(QWidget *parent) : QDialog(parent)
{
    setObjectName("TSkalDia");
    setModal(true);
    setWindowTitle(QStringLiteral("Skalierung"));

    auto *heading = new QLabel(QStringLiteral("X-Achse"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName("Edit2");
    Edit3 = new QLineEdit(this);
    Edit3->setObjectName("Edit3");
    Edit3->setMaxLength(kUnitLength);
    auto *factorLabel = new QLabel(QStringLiteral("Skala = Wert *  "), this);
    auto *plusLabel = new QLabel(QStringLiteral("+"), this);
    auto *unitLabel = new QLabel(QStringLiteral("Einheit ="), this);
    factorLabel->setBuddy(Edit1);
    plusLabel->setBuddy(Edit2);
    unitLabel->setBuddy(Edit3);
    Edit2->setAccessibleName(QStringLiteral("Offset"));
    // Wide enough for a whole number in the edits' notation.
    const int numberWidth = Edit1->fontMetrics().horizontalAdvance(QStringLiteral(" -8.88888888888888E+0000")) + 12;
    Edit1->setMinimumWidth(numberWidth);
    Edit2->setMinimumWidth(numberWidth);

    Default = new QPushButton(QStringLiteral("default"), this);
    Default->setObjectName("default");
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("Abbruch"), this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn3 = new QPushButton(QStringLiteral("Hilfe"), this);
    BitBtn3->setObjectName("BitBtn3");

    auto *grid = new QGridLayout;
    grid->addWidget(factorLabel, 0, 0);
    grid->addWidget(Edit1, 0, 1);
    grid->addWidget(plusLabel, 0, 2);
    grid->addWidget(Edit2, 0, 3);
    grid->addWidget(unitLabel, 1, 0);
    grid->addWidget(Edit3, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Default);
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);
    auto *all = new QVBoxLayout(this);
    all->addWidget(heading);
    all->addLayout(grid);
    all->addStretch();
    all->addLayout(buttons);
    resize(std::max(301, sizeHint().width()), std::max(271, sizeHint().height()));

    connect(Default, &QPushButton::clicked, this, &TSkalDia::defaultClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TSkalDia::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn3, &QPushButton::clicked, this, [this] { emit helpRequested(0); });
    defaultClick();
}

void TSkalDia::showEvent(QShowEvent *event)
{
    FillEdits();
    QDialog::showEvent(event);
}

void TSkalDia::FillEdits()
{
    Edit1->setText(display::ScientificText(Record.Factor));
    Edit2->setText(display::ScientificText(Record.Offset));
    Edit1->setCursorPosition(0);
    Edit2->setCursorPosition(0);
    Edit3->setText(QString::fromStdString(Record.Unit));
}

void TSkalDia::defaultClick()
{
    Record = display::ScaleRecord{};
    FillEdits();
}

void TSkalDia::BitBtn1Click()
{
    float v = 0.0f;
    // A factor of 0 would turn every readout into the offset.
    if (ParseScaleNumber(Edit1->text(), v) && v != 0.0f)
        Record.Factor = v;
    if (ParseScaleNumber(Edit2->text(), v))
        Record.Offset = v;
    Record.Unit = Edit3->text().left(kUnitLength).toStdString();
    accept();
}
