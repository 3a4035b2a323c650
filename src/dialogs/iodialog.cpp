#include "dialogs/iodialog.h"

#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace audio {

namespace {

QLabel *NamedLabel(const QString &text, const QString &name, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

void Yellow(QWidget *w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, Qt::yellow);
    p.setColor(QPalette::Window, Qt::yellow);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

} // namespace

TIOdialog::TIOdialog(QWidget *parent) : QDialog(parent)
{
    setObjectName("IOdialog");
    setWindowTitle("IO Options");
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);

    auto *grid = new QGridLayout;
    Label2 = NamedLabel("Sample rate", "Label2", this);
    Label1 = NamedLabel("Bits/Sample", "Label1", this);
    Label3 = NamedLabel("8", "Label3", this);
    Label4 = NamedLabel("16", "Label4", this);
    Label5 = NamedLabel("24", "Label5", this);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(Label1, 0, 1, 1, 3, Qt::AlignHCenter);
    grid->addWidget(Label3, 1, 1, Qt::AlignHCenter);
    grid->addWidget(Label4, 1, 2, Qt::AlignHCenter);
    grid->addWidget(Label5, 1, 3, Qt::AlignHCenter);
    static const char *rowNames[7] = {"8", "11", "22", "32", "44", "48", "96"};
    for (int r = 0; r < 7; ++r) {
        QString text = r == 6 ? QStringLiteral("96000") : QString::number(kRates[r]) + " Hz";
        grid->addWidget(NamedLabel(text, QString("LabelRate%1").arg(kRates[r]), this), r + 2, 0);
        for (int c = 0; c < 3; ++c) {
            auto *b = new QRadioButton(this);
            b->setObjectName(QString("b%1%2").arg(rowNames[r]).arg(kBits[c]));
            group_->addButton(b);
            Grid[r][c] = b;
            grid->addWidget(b, r + 2, c + 1, Qt::AlignHCenter);
        }
    }
    grid->addWidget(NamedLabel("Hz", "LabelHz96", this), 8, 4);
    Label13 = NamedLabel("User", "Label13", this);
    Yellow(Label13);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setMaximumWidth(70);
    Yellow(Edit1);
    auto *userBox = new QHBoxLayout;
    userBox->addWidget(Label13);
    userBox->addWidget(Edit1);
    userBox->addWidget(NamedLabel("Hz", "LabelHzUser", this));
    grid->addLayout(userBox, 9, 0);
    for (int c = 0; c < 3; ++c) {
        auto *b = new QRadioButton(this);
        b->setObjectName(QString("bu%1").arg(kBits[c]));
        group_->addButton(b);
        User[c] = b;
        grid->addWidget(b, 9, c + 1, Qt::AlignHCenter);
    }

    CheckBox1 = new QCheckBox("flip channels", this);
    CheckBox1->setObjectName("CheckBox1");
    CheckBox2 = new QCheckBox("Begin/End Tongenerierung", this);
    CheckBox2->setObjectName("CheckBox2");
    cbInvPhaseL = new QCheckBox("inv. Phase L", this);
    cbInvPhaseL->setObjectName("cbInvPhaseL");
    cbInvPhaseR = new QCheckBox("inv. Phase R", this);
    cbInvPhaseR->setObjectName("cbInvPhaseR");
    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Abort", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn3 = new QPushButton("Help", this);
    BitBtn3->setObjectName("BitBtn3");

    auto *checks = new QVBoxLayout;
    checks->addWidget(CheckBox1);
    checks->addWidget(CheckBox2);
    checks->addWidget(cbInvPhaseL);
    checks->addWidget(cbInvPhaseR);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(checks);
    layout->addLayout(buttons);

    connect(Edit1, &QLineEdit::textChanged, this, &TIOdialog::Edit1Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TIOdialog::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    connect(BitBtn3, &QPushButton::clicked, this, [this] { emit helpRequested(14); });
}

void TIOdialog::SetLanguage(char language)
{
    if (language == 'D') {
        CheckBox1->setText(QString::fromUtf8("vertausche Kanäle"));
        CheckBox2->setText("Loop Tongenerierung");
    } else if (language == 'E') {
        CheckBox1->setText("flip channels");
        CheckBox2->setText("Loop tone generating");
    }
}

void TIOdialog::FormActivate()
{
    loading_ = true;
    GetFlip(inFlip_, outFlip_);
    GetPhaseInvert(inL_, inR_, outL_, outR_);
    int rateIn = 0, rateOut = 0, bitsIn = 0, bitsOut = 0, userIn = 0, userOut = 0;
    GetRates(rateIn, rateOut);
    GetBits(bitsIn, bitsOut);
    GetUserRates(userIn, userOut);
    if (ForInput) {
        setWindowTitle("Wave input options for " + QString::fromStdString(DeviceName('I', GetInputDevice())));
        CheckBox1->setChecked(inFlip_);
        cbInvPhaseL->setChecked(inL_);
        cbInvPhaseR->setChecked(inR_);
        Rate = rateIn;
        Bits = bitsIn;
        userRate_ = userIn;
        CheckBox2->hide();
    } else {
        setWindowTitle("Wave output options for " + QString::fromStdString(DeviceName('O', GetOutputDevice())));
        CheckBox1->setChecked(outFlip_);
        cbInvPhaseL->setChecked(outL_);
        cbInvPhaseR->setChecked(outR_);
        Rate = rateOut;
        Bits = bitsOut;
        userRate_ = userOut;
        CheckBox2->show();
        CheckBox2->setChecked(GetLoop());
    }
    Edit1->setText(QString::number(userRate_));

    uncheckAll(&Grid[0][0], 21);
    uncheckAll(User, 3);
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 3; ++c)
            Grid[r][c]->setEnabled(QueryFormat(kRates[r], kBits[c], ForInput));
    for (int c = 0; c < 3; ++c)
        User[c]->setEnabled(QueryFormat(userRate_, kBits[c], ForInput));

    // The fixed rows first, then the user row: a user rate equal to a fixed
    // rate ends with the user button checked.
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 3; ++c)
            if (kRates[r] == Rate && kBits[c] == Bits)
                Grid[r][c]->setChecked(true);
    for (int c = 0; c < 3; ++c)
        if (userRate_ == Rate && kBits[c] == Bits)
            User[c]->setChecked(true);
    loading_ = false;
}

void TIOdialog::showEvent(QShowEvent *e)
{
    FormActivate();
    QDialog::showEvent(e);
}

void TIOdialog::uncheckAll(QRadioButton *const *buttons, int count)
{
    // An exclusive group never lets its last checked button go.
    group_->setExclusive(false);
    for (int i = 0; i < count; ++i)
        buttons[i]->setChecked(false);
    group_->setExclusive(true);
}

void TIOdialog::Edit1Change(const QString &text)
{
    if (loading_)
        return;
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok)
        return;
    for (int c = 0; c < 3; ++c)
        User[c]->setEnabled(QueryFormat(v, kBits[c], ForInput));
    uncheckAll(User, 3);
    userRate_ = v;
}

void TIOdialog::BitBtn1Click()
{
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 3; ++c)
            if (Grid[r][c]->isChecked()) {
                Rate = kRates[r];
                Bits = kBits[c];
            }
    for (int c = 0; c < 3; ++c)
        if (User[c]->isChecked()) {
            Rate = userRate_;
            Bits = kBits[c];
        }
    if (ForInput) {
        SetFlip(CheckBox1->isChecked(), outFlip_);
        SetPhaseInvert(cbInvPhaseL->isChecked(), cbInvPhaseR->isChecked(), outL_, outR_);
        SetRates(Rate, 0);
        SetBits(Bits, 0);
        SetUserRates(userRate_, 0);
    } else {
        SetLoop(CheckBox2->isChecked());
        SetFlip(inFlip_, CheckBox1->isChecked());
        SetPhaseInvert(inL_, inR_, cbInvPhaseL->isChecked(), cbInvPhaseR->isChecked());
        SetRates(0, Rate);
        SetBits(0, Bits);
        SetUserRates(0, userRate_);
    }
    accept();
}

} // namespace audio
