// The feature list window: shows the sound devices' report (AudioLog) and
// saves it as "featlist.txt".
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

class TFeatDlg : public QDialog {
    Q_OBJECT
public:
    explicit TFeatDlg(QWidget *parent = nullptr);

    void SetLanguage(char language);
    // Replaces the list's lines (the main window passes the audio layer's log).
    void SetLines(const std::vector<std::string> &lines);
    // Writes the lines to `fileName`, replacing it whole (the safe writer of
    // platform/textfile.h); returns 0 or the error. The Save button writes
    // "featlist.txt" in the current folder and reports a failure.
    int SaveList(const QString &fileName) const;

    QListWidget *SrcList;
    QPushButton *OKBtn;
    QPushButton *HelpBtn;
    QPushButton *Button1; // "Save"

signals:
    void helpRequested(int context);

private:
    void Button1Click();
    QString couldNotCreate_ = QStringLiteral(" konnte nicht erzeugt werden");
};
