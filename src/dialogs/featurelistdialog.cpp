#include "dialogs/featurelistdialog.h"

#include "widgets/messagebox.h"
#include "platform/textfile.h"

#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TFeatDlg::TFeatDlg(QWidget *parent) : QDialog(parent)
{
    setObjectName("FeatDlg");
    setWindowTitle("Feature list");
    SrcList = new QListWidget(this);
    SrcList->setObjectName("SrcList");
    SrcList->setFont(QFont("Monospace"));
    SrcList->addItem("--------------------------");
    OKBtn = new QPushButton("OK", this);
    OKBtn->setObjectName("OKBtn");
    HelpBtn = new QPushButton("&Help", this);
    HelpBtn->setObjectName("HelpBtn");
    Button1 = new QPushButton("Save", this);
    Button1->setObjectName("Button1");

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(HelpBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SrcList);
    layout->addLayout(buttons);
    resize(460, 420);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(HelpBtn, &QPushButton::clicked, this, [this] { emit helpRequested(11); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

void TFeatDlg::SetLanguage(char language)
{
    if (language == 'D') {
        setWindowTitle("Feature Liste");
        couldNotCreate_ = QStringLiteral(" konnte nicht erzeugt werden");
    } else if (language == 'E') {
        setWindowTitle("Feature list");
        couldNotCreate_ = QStringLiteral(" could not created");
    }
}

void TFeatDlg::SetLines(const std::vector<std::string> &lines)
{
    SrcList->clear();
    for (const std::string &l : lines)
        SrcList->addItem(QString::fromStdString(l));
}

int TFeatDlg::SaveList(const QString &fileName) const
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(SrcList->count()));
    for (int i = 0; i < SrcList->count(); ++i)
        lines.push_back(SrcList->item(i)->text().toStdString());
    // A fixed name in whatever folder is current: a link found there is
    // replaced, never written through.
    return platform::WriteTextLines(QFile::encodeName(fileName).toStdString(), lines, platform::LineEnd::Lf,
                                    platform::Links::Replace);
}

void TFeatDlg::Button1Click()
{
    const QString name = QStringLiteral("featlist.txt");
    if (const int error = SaveList(name))
        platform::ShowMessage(this, platform::MessageKind::Error,
                              name + couldNotCreate_ + " (" + QString::fromStdString(platform::FileErrorText(error)) +
                                  ")");
}
