// The small list of the diagram's overlays: each with its colour, name,
// kind and visibility (the check box), the reference marked; buttons remove
// the selected overlay, make it the reference or end the reference mode.
// It edits the diagram's overlays directly and follows their changes. UI
// thread only.
#pragma once

#include <QDialog>

class QPushButton;
class QTreeWidget;
class TDiagramm;

class TOverlayList : public QDialog {
    Q_OBJECT
public:
    explicit TOverlayList(TDiagramm &diagram, QWidget *parent = nullptr);

    // 'D' or 'E'.
    void SetLanguage(char language);
    // Fills the list from the diagram's overlays again.
    void Refresh();

    QTreeWidget *OverlayList = nullptr;
    QPushButton *OverlayRemove = nullptr, *OverlayReference = nullptr, *OverlayNoReference = nullptr;
    QPushButton *OverlayClose = nullptr;

private:
    int SelectedRow() const;
    void UpdateButtons();

    TDiagramm &diagram_;
    char language_ = 'D';
    bool filling_ = false;
};
