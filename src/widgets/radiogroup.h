// A titled group of radio buttons addressed by item index, as the pages and
// dialogs use for choices such as FFT size, window function or run mode.
#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QGridLayout;

namespace platform {

class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit RadioGroup(const QString &title = {}, QWidget *parent = nullptr, int columns = 1);

    // Replaces the items; keeps the selection index if it is still valid.
    void setItems(const QStringList &items);
    // Renames the items without touching the selection.
    void setItemTexts(const QStringList &items);
    QStringList items() const;
    int count() const;

    int itemIndex() const; // -1: nothing selected
    // Selects an item and, like a click, emits clicked(index). -1 clears.
    void setItemIndex(int index);

signals:
    // The user or setItemIndex selected an item.
    void itemClicked(int index);

private:
    QButtonGroup *buttons_;
    QGridLayout *grid_;
    int columns_;
};

} // namespace platform
