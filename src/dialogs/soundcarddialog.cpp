#include "dialogs/soundcarddialog.h"
#include "widgets/messagebox.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/soundinterface.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace audio {

TSCdia::TSCdia(QWidget *parent) : QDialog(parent)
{
    setObjectName("SCdia");
    setWindowTitle("Select Soundcard for Output");
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName("ListBox1");
    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    CancelBtn->setObjectName("CancelBtn");
    HelpBtn = new QPushButton("&Help", this);
    HelpBtn->setObjectName("HelpBtn");
    HelpBtn->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(HelpBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ListBox1);
    layout->addLayout(buttons);
    resize(340, 240);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this](int row) { ListBox1Click(row); });
}

void TSCdia::SetLanguage(char language)
{
    if (language == 'D') {
        inputTitle_ = "Auswahl Input-Soundkarte";
        outputTitle_ = "Auswahl Output-Soundkarte";
        messageFirst_ = "Nur die ersten ";
        messageSecond_ = " Sounddevices werden unterstützt";
    } else if (language == 'E') {
        inputTitle_ = "Select input device";
        outputTitle_ = "Select output device";
        messageFirst_ = "Support for only ";
        messageSecond_ = " sounddevices";
    }
}

void TSCdia::showEvent(QShowEvent *e)
{
    FormActivate();
    QDialog::showEvent(e);
}

void TSCdia::FormActivate()
{
    filling_ = true;
    ListBox1->clear();
    int numIn = 0, numOut = 0;
    std::uint32_t lastMask = 0;
    DeviceReport(numIn, numOut, lastMask);
    setWindowTitle(ForInput ? inputTitle_ : outputTitle_);
    const int count = ForInput ? numIn : numOut;
    SoundInterface &si = SoundInterface::instance();
    for (int i = 0; i < count; ++i) {
        // The backend after the name, so that the server's node of a card
        // and the card's ALSA device are told apart; the virtual cards say
        // what they are in their names. The tooltip names what the settings
        // keep.
        QString text = QString::fromStdString(DeviceName(ForInput ? 'I' : 'O', i));
        const std::string family = si.deviceFamily(i, ForInput);
        if (!family.empty() && family != "virtual")
            text += "  [" + QString::fromStdString(family) + "]";
        ListBox1->addItem(text);
        ListBox1->item(i)->setToolTip(QString::fromStdString(si.storedDeviceName(i, ForInput)));
    }
    if (Selected >= 0 && Selected < kMaxDevices && Selected < count) {
        ListBox1->setCurrentRow(Selected);
        ListBox1->setFocus();
    } else {
        // Nothing to highlight; keep the focus off the list, which would
        // otherwise make its first entry current on focus.
        ListBox1->setCurrentRow(-1);
        ListBox1->clearSelection();
        OKBtn->setFocus();
    }
    filling_ = false;
}

void TSCdia::ListBox1Click(int row)
{
    if (filling_ || row < 0)
        return;
    if (row >= kMaxDevices) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              messageFirst_ + QString::number(kMaxDevices) + messageSecond_);
        Selected = kMaxDevices - 1;
        filling_ = true; // the highlight below is no click
        ListBox1->setCurrentRow(Selected);
        filling_ = false;
    } else {
        Selected = row;
    }
}

} // namespace audio
