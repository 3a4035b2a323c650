// The correction file editor: a resizable window with the text of one
// correction file, for the input or the output correction curve. "Save &
// Test" writes the text back to the file and reloads the curve from it.
// Not modal; UI thread only.
#pragma once

#include <QDialog>
#include <string>

class QAction;
class QMenuBar;
class QPlainTextEdit;
namespace dsp {
class CorrectionCurve;
}

class TKorEdit : public QDialog {
    Q_OBJECT
public:
    explicit TKorEdit(QWidget *parent = nullptr);

    // 'D' or 'E': caption and messages; other characters change nothing.
    void SetLanguage(char language);

    // Points the editor at `curve` and shows the text of its file (empty
    // when the file does not exist yet). Edits not yet saved for the curve
    // shown so far are asked about first; false, and nothing changes, when
    // they could not be saved, or when the file exists but cannot be read
    // (not a regular file, too large, no permission: a warning says so).
    bool Open(dsp::CorrectionCurve *curve);
    dsp::CorrectionCurve *Curve() const { return curve_; }
    // The file the editor writes to. It is the editor's own copy of the
    // curve's name, so a reload that fails does not leave it without one.
    const std::string &FileName() const { return fileName_; }
    // The text was changed since it was loaded or saved.
    bool Modified() const;

    // Save & Test: writes the text to the file, reloads the curve from it
    // (with the loader's messages), switches the curve on and tells the main
    // window (correctionSaved). A file that cannot be written is reported,
    // and the text stays modified; returns false then.
    bool testClick();

    QPlainTextEdit *Memo1 = nullptr;
    QMenuBar *MainMenu = nullptr;
    QAction *test = nullptr;

signals:
    void correctionSaved();

public slots:
    // Closing asks about unsaved edits; the window stays open when they
    // were to be saved and could not be.
    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void FormActivate();
    // Asks about unsaved edits; false when they were to be saved and could not be.
    bool confirmDiscard();

    dsp::CorrectionCurve *curve_ = nullptr;
    std::string fileName_;
};
