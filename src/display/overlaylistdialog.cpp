// The list of the diagram's overlays (see overlaylistdialog.h).
#include "display/overlaylistdialog.h"

#include "display/diagramwindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace display;

namespace {

QPushButton *Button(QWidget *parent, const char *name)
{
    auto *b = new QPushButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QIcon Swatch(std::uint32_t colour)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(ColourFromBgr(colour));
    return QIcon(pixmap);
}

} // namespace

TOverlayList::TOverlayList(TDiagramm &diagram, QWidget *parent) : QDialog(parent, Qt::Tool), diagram_(diagram)
{
    setObjectName(QStringLiteral("OverlayListDialog"));
    OverlayList = new QTreeWidget(this);
    OverlayList->setObjectName(QStringLiteral("OverlayList"));
    OverlayList->setColumnCount(3);
    OverlayList->setRootIsDecorated(false);
    OverlayList->setSelectionMode(QAbstractItemView::SingleSelection);
    OverlayList->header()->setStretchLastSection(true);
    OverlayList->setColumnWidth(0, 240);
    OverlayRemove = Button(this, "OverlayRemove");
    OverlayReference = Button(this, "OverlayReference");
    OverlayNoReference = Button(this, "OverlayNoReference");
    OverlayClose = Button(this, "OverlayClose");

    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {OverlayRemove, OverlayReference, OverlayNoReference})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(OverlayClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(OverlayList);
    layout->addLayout(buttons);
    resize(460, 240);

    connect(OverlayList, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem *item, int column) {
        if (filling_ || column != 0)
            return;
        diagram_.SetOverlayVisible(OverlayList->indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
    });
    connect(OverlayList, &QTreeWidget::itemSelectionChanged, this, &TOverlayList::UpdateButtons);
    connect(OverlayRemove, &QPushButton::clicked, this, [this] {
        const int row = SelectedRow();
        if (row >= 0)
            diagram_.RemoveOverlay(row);
    });
    connect(OverlayReference, &QPushButton::clicked, this, [this] {
        const int row = SelectedRow();
        if (row >= 0)
            diagram_.SetReference(row);
    });
    connect(OverlayNoReference, &QPushButton::clicked, this, [this] { diagram_.SetReference(-1); });
    connect(OverlayClose, &QPushButton::clicked, this, &QDialog::close);
    connect(&diagram_, &TDiagramm::overlaysChanged, this, &TOverlayList::Refresh);
    SetLanguage('D');
    Refresh();
}

void TOverlayList::SetLanguage(char language)
{
    language_ = language == 'E' ? 'E' : 'D';
    const bool de = language_ == 'D';
    const auto t = [de](const char *g, const char *e) { return QString::fromUtf8(de ? g : e); };
    setWindowTitle(t("Überlagerungen", "Overlays"));
    OverlayList->setHeaderLabels({t("Name", "Name"), t("Art", "Kind"), t("Referenz", "Reference")});
    OverlayList->setAccessibleName(t("Überlagerungen", "Overlays"));
    OverlayRemove->setText(t("&Entfernen", "&Remove"));
    OverlayReference->setText(t("Als &Referenz", "Make &reference"));
    OverlayNoReference->setText(t("&Keine Referenz", "&No reference"));
    OverlayClose->setText(t("&Schließen", "&Close"));
    for (QPushButton *b : {OverlayRemove, OverlayReference, OverlayNoReference, OverlayClose})
        b->setAccessibleName(b->text().remove(QLatin1Char('&')));
    Refresh();
}

void TOverlayList::Refresh()
{
    const int selected = SelectedRow();
    filling_ = true;
    OverlayList->clear();
    const OverlaySet &set = diagram_.Overlays();
    for (int i = 0; i < set.Count(); ++i) {
        const Overlay &o = set.At(i);
        auto *item = new QTreeWidgetItem(OverlayList);
        item->setText(0, QString::fromStdString(o.Name));
        item->setIcon(0, Swatch(o.Colour));
        item->setToolTip(0, QString::fromStdString(o.File));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, o.Visible ? Qt::Checked : Qt::Unchecked);
        item->setText(1, QString::fromStdString(o.Kind));
        item->setText(2, i == set.Reference() ? QStringLiteral("\u2713") : QString());
    }
    // The selection stays on its row, or on the last row when that went.
    if (set.Count() > 0)
        OverlayList->setCurrentItem(OverlayList->topLevelItem(std::clamp(selected, 0, set.Count() - 1)));
    filling_ = false;
    UpdateButtons();
}

int TOverlayList::SelectedRow() const
{
    QTreeWidgetItem *item = OverlayList->currentItem();
    return item ? OverlayList->indexOfTopLevelItem(item) : -1;
}

void TOverlayList::UpdateButtons()
{
    const int row = SelectedRow();
    const OverlaySet &set = diagram_.Overlays();
    OverlayRemove->setEnabled(row >= 0);
    OverlayReference->setEnabled(row >= 0 && row < set.Count() && !set.At(row).IsLimits &&
                                 row != set.Reference());
    OverlayNoReference->setEnabled(set.Reference() >= 0);
}
