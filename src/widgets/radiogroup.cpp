#include "widgets/radiogroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace platform {

RadioGroup::RadioGroup(const QString &title, QWidget *parent, int columns)
    : QGroupBox(title, parent), buttons_(new QButtonGroup(this)), grid_(new QGridLayout(this)),
      columns_(columns < 1 ? 1 : columns)
{
    buttons_->setExclusive(true);
    grid_->setContentsMargins(4, 2, 4, 2);
    grid_->setSpacing(1);
    connect(buttons_, &QButtonGroup::idClicked, this, &RadioGroup::itemClicked);
}

void RadioGroup::setItems(const QStringList &items)
{
    int keep = itemIndex();
    for (QAbstractButton *b : buttons_->buttons()) {
        buttons_->removeButton(b);
        delete b;
    }
    int rows = (items.size() + columns_ - 1) / columns_;
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items[i], this);
        b->setObjectName(objectName() + QString::number(i));
        buttons_->addButton(b, i);
        grid_->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
    }
    if (keep >= 0 && keep < items.size())
        buttons_->button(keep)->setChecked(true);
}

void RadioGroup::setItemTexts(const QStringList &items)
{
    for (int i = 0; i < items.size(); ++i)
        if (QAbstractButton *b = buttons_->button(i))
            b->setText(items[i]);
}

QStringList RadioGroup::items() const
{
    QStringList l;
    for (int i = 0; buttons_->button(i); ++i)
        l << buttons_->button(i)->text();
    return l;
}

int RadioGroup::count() const { return static_cast<int>(buttons_->buttons().size()); }

int RadioGroup::itemIndex() const { return buttons_->checkedId(); }

void RadioGroup::setItemIndex(int index)
{
    if (QAbstractButton *b = buttons_->button(index)) {
        b->setChecked(true);
    } else if (QAbstractButton *c = buttons_->checkedButton()) {
        buttons_->setExclusive(false);
        c->setChecked(false);
        buttons_->setExclusive(true);
    }
    emit itemClicked(index);
}

} // namespace platform
