// The main window's texts in German and English: captions and the message
// texts of the application shell, chosen by SetLanguage.
#pragma once

#include <QString>

namespace app {

struct MainTexts {
    // message and label texts
    QString OpenFailed;       // audio layer could not be opened (prefix)
    QString LeftTag, RightTag;
    QString CaptureStartFailed;   // prefix
    QString CaptureRestartFailed; // prefix
    QString CorrectionTestTitle;  // prefix
    QString SweepFreqLimit;
    QString NoFundamental;
    QString CorrectionActive;
    QString AnalogLevel;
    QString Level;
    QString CouldNotCreate; // suffix
    QString CommentPrefix;
    QString HelpFile;
    QString SaveDialogTitle;
    QString SettingsNotSaved; // prefix: the settings file could not be written
};

// Texts of the current language; the designed (German) texts until a
// language is applied.
const MainTexts &Texts();
// A diagram title of the correction test, in either language (it starts
// with CorrectionTestTitle).
bool IsCorrectionTestTitle(const QString &title);
// Switches the message texts; other characters than 'D' and 'E' keep them.
void SetMainTexts(char language);

} // namespace app
