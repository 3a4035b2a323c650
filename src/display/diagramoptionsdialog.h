// The diagram options dialog: a modeless window that edits the diagram's
// options record live - colours, axis ranges, logarithmic axis, level-button
// stepping, the text-export separator, what the mouse measures, peak hold and
// difference curve. It keeps its own copy of the record; each change of a
// control updates the copy and posts WM_DIAGRAM_OPTIONS to the diagram, which
// reads the copy back with GetOptions. Nothing is confirmed or cancelled:
// "CLOSE" only hides it. UI thread only.
#pragma once

#include "display/diagramoptionseditor.h"

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
namespace platform {
class RadioGroup;
}

class Tdiadlg : public QDialog, public display::DiagramOptionsEditor {
    Q_OBJECT
public:
    static constexpr int kHelpContext = 16;

    explicit Tdiadlg(QWidget *parent = nullptr);

    // The window that receives WM_DIAGRAM_OPTIONS (the diagram).
    void SetTarget(QObject *target) { target_ = target; }

    // 'D' or 'E': captions and the combo box items; others change nothing.
    void SetLanguage(char language);

    // Takes the record over (the reset request cleared) and fills the
    // controls from it. Filling posts nothing: the diagram already has this
    // record.
    void LoadOptions(const display::DiagramOptions &options) override;
    // Copies the dialog's record out; the diagram calls it on the message.
    void GetOptions(display::DiagramOptions &options) const override;
    void ShowEditor() override;

    // Control handlers, named after the layout.
    void ColourButtonClick(int index); // Button1 ... Button6
    void coldefaultClick();
    void Edit1Change();
    void Edit2Change();
    void Edit3Change();
    void Edit4Change();
    void Edit5Change();
    void MessVonClick(int index);
    void CheckBox2Click(bool checked);
    void CheckBox3Click(bool checked);
    void ComboBox1Change(int index);

    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr;
    QLabel *Label15 = nullptr, *Label8 = nullptr, *Label9 = nullptr, *Label12 = nullptr, *Label14 = nullptr;
    QFrame *Shape[6] = {};        // Shape1 ... Shape6
    QPushButton *Button[6] = {};  // Button1 ... Button6
    QPushButton *coldefault = nullptr;
    QCheckBox *LogDia = nullptr;
    QLineEdit *Edit1 = nullptr, *Edit2 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr;
    QLineEdit *Edit5 = nullptr, *Edit6 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr, *CheckBox3 = nullptr;
    platform::RadioGroup *MessVon = nullptr;
    QPushButton *Button7 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // help
    QPushButton *CloseBut = nullptr;

signals:
    void helpRequested(int context);

private:
    // Posts WM_DIAGRAM_OPTIONS unless one is still waiting to be read, so a
    // burst of changes costs the diagram one redraw.
    void Changed();
    void FillControls();
    void ShowColours();
    std::uint32_t &Colour(int index);

    display::DiagramOptions record_;
    QPointer<QObject> target_;
    mutable bool posted_ = false;
    QString fieldNames_[3]; // frequency, level, stepping: for the edits' accessible names
};
