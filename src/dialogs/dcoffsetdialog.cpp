#include "dialogs/dcoffsetdialog.h"

#include "audio/audioengine.h"
#include "widgets/readout.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

namespace {

// Bar positions are millionths of full scale, the offset's sign reversed.
constexpr int kBarRange = 20000;
constexpr double kBarUnit = 1000000.0;

QString OffsetText(float k) { return QString::number(double(k), 'f', 6) + " FS"; }

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(name);
    return w;
}

QScrollBar *Bar(const char *name, const QString &accessible, QWidget *parent)
{
    auto *b = named(new QScrollBar(Qt::Vertical, parent), name);
    b->setRange(-kBarRange, kBarRange);
    b->setSingleStep(1);
    b->setPageStep(1000);
    b->setMinimumHeight(160);
    b->setFocusPolicy(Qt::StrongFocus);
    b->setAccessibleName(accessible);
    return b;
}

} // namespace

TDCOffset::TDCOffset(QWidget *parent) : QDialog(parent)
{
    setObjectName("TDCOffset");
    setWindowTitle("Input DC-Offset");
    setModal(true);
    ScrollBar1 = Bar("ScrollBar1", "K1", this);
    ScrollBar2 = Bar("ScrollBar2", "K2", this);
    Label1 = named(new QLabel(this), "Label1");
    Label2 = named(new QLabel(this), "Label2");
    Label3 = named(new QLabel("K1", this), "Label3");
    Label4 = named(new QLabel("K2", this), "Label4");
    Label3->setBuddy(ScrollBar1);
    Label4->setBuddy(ScrollBar2);
    platform::MarkReadout(Label1, "K1 DC offset");
    platform::MarkReadout(Label2, "K2 DC offset");
    AutoDCOffset = named(new QCheckBox(" Auto DC-Offset", this), "AutoDCOffset");
    BitBtn1 = named(new QPushButton(this), "BitBtn1");
    BitBtn2 = named(new QPushButton(this), "BitBtn2");
    BitBtn1->setDefault(true);

    auto *grid = new QGridLayout;
    grid->addWidget(Label3, 0, 0, Qt::AlignHCenter);
    grid->addWidget(Label4, 0, 1, Qt::AlignHCenter);
    grid->addWidget(ScrollBar1, 1, 0, Qt::AlignHCenter);
    grid->addWidget(ScrollBar2, 1, 1, Qt::AlignHCenter);
    grid->addWidget(Label1, 2, 0);
    grid->addWidget(Label2, 2, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(grid);
    lay->addWidget(AutoDCOffset);
    lay->addLayout(buttons);

    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this](int v) { ScrollBarChange(1, v); });
    connect(ScrollBar2, &QScrollBar::valueChanged, this, [this](int v) { ScrollBarChange(2, v); });
    connect(AutoDCOffset, &QCheckBox::clicked, this, &TDCOffset::AutoDCOffsetClick);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, [this] { emit helpRequested(QString::fromLatin1(kHelpTopic)); });
    SetLanguage('D');
}

void TDCOffset::SetLanguage(char language)
{
    if (language != 'D' && language != 'E')
        return;
    const bool de = language == 'D';
    BitBtn1->setText(de ? QStringLiteral("&Schließen") : QStringLiteral("&Close"));
    BitBtn2->setText(de ? QStringLiteral("&Hilfe") : QStringLiteral("&Help"));
}

void TDCOffset::showEvent(QShowEvent *e)
{
    FormActivate();
    QDialog::showEvent(e);
}

void TDCOffset::FormActivate()
{
    // The values of the input device that is current now.
    const float k1 = audio::GetDCOffsetL(), k2 = audio::GetDCOffsetR();
    const bool autoOn = audio::GetAutoDCOffset();
    {
        const QSignalBlocker b1(ScrollBar1), b2(ScrollBar2), b3(AutoDCOffset);
        ScrollBar1->setValue(int(std::lround(-double(k1) * kBarUnit)));
        ScrollBar2->setValue(int(std::lround(-double(k2) * kBarUnit)));
        AutoDCOffset->setChecked(autoOn);
    }
    Label1->setText(OffsetText(k1));
    Label2->setText(OffsetText(k2));
    ScrollBar1->setEnabled(!autoOn);
    ScrollBar2->setEnabled(!autoOn);
}

void TDCOffset::ScrollBarChange(int channel, int position)
{
    const float k = static_cast<float>(-position / kBarUnit);
    if (channel == 1) {
        audio::SetDCOffsetL(k);
        Label1->setText(OffsetText(k));
    } else {
        audio::SetDCOffsetR(k);
        Label2->setText(OffsetText(k));
    }
}

void TDCOffset::AutoDCOffsetClick(bool on)
{
    audio::SetAutoDCOffset(on);
    ScrollBar1->setEnabled(!on);
    ScrollBar2->setEnabled(!on);
}
