#include "generator/featdlg.h"

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
    if (language == 'D')
        setWindowTitle("Feature Liste");
    else if (language == 'E')
        setWindowTitle("Feature list");
}

void TFeatDlg::SetLines(const std::vector<std::string> &lines)
{
    SrcList->clear();
    for (const std::string &l : lines)
        SrcList->addItem(QString::fromStdString(l));
}

bool TFeatDlg::SaveList(const QString &fileName) const
{
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (int i = 0; i < SrcList->count(); ++i) {
        const QByteArray line = SrcList->item(i)->text().toUtf8() + "\n";
        if (f.write(line) != line.size())
            return false;
    }
    return f.flush();
}

void TFeatDlg::Button1Click()
{
    SaveList("featlist.txt"); // a failure is swallowed: the window stays as it is
}
