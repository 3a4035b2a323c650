#include "app/aboutbox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName("TAboutBox");
    setWindowTitle("Info");
    auto *lay = new QVBoxLayout(this);
    ProductName = new QLabel("Sonalyx", this);
    ProductName->setObjectName("ProductName");
    QFont f = ProductName->font();
    f.setPointSize(f.pointSize() + 6);
    f.setBold(true);
    ProductName->setFont(f);
    Version = new QLabel("Version 1.4g", this);
    Version->setObjectName("Version");
    Comments = new QLabel(this);
    Comments->setObjectName("Comments");
    Comments->setWordWrap(true);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OKButton");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    lay->addWidget(ProductName);
    lay->addWidget(Version);
    lay->addWidget(Comments);
    lay->addWidget(buttons);
    SetLanguage('D');
}

void TAboutBox::SetLanguage(char language)
{
    if (language == 'D')
        Comments->setText("Audio-Messplatz: Spektrumanalysator, Generator, Wobbler und Oszilloskop "
                          "mit der Soundkarte.");
    else if (language == 'E')
        Comments->setText("Audio test set: spectrum analyser, generator, sweep and oscilloscope "
                          "with a sound card.");
}
