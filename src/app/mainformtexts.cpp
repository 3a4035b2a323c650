#include "app/mainformtexts.h"

namespace app {

namespace {

MainTexts german()
{
    MainTexts t;
    t.OpenFailed = QStringLiteral("Problem beim Öffnen des Sounddevice ! Programm stopped (");
    t.LeftTag = QStringLiteral(" LI ");
    t.RightTag = QStringLiteral(" RE ");
    t.CaptureStartFailed = QStringLiteral("Probleme beim Sample (");
    t.CaptureRestartFailed = QStringLiteral("Probleme beim Beginn Samplen (");
    t.CorrectionTestTitle = QStringLiteral("Korrektur Kurve von ");
    t.SweepFreqLimit = QStringLiteral("In/Out Freq. > Samplefrequenz/2 ! Wobbeln stoppt ");
    t.NoFundamental = QStringLiteral(" keine Grundwelle ");
    t.CorrectionActive = QStringLiteral("Korrektur aktiv");
    t.AnalogLevel = QStringLiteral(" analog Pegel");
    t.Level = QStringLiteral(" Pegel");
    t.CouldNotCreate = QStringLiteral(" konnte nicht erzeugt werden");
    t.CommentPrefix = QStringLiteral("Kommentar:");
    t.HelpFile = QStringLiteral("sonmaind.hlp");
    t.SaveDialogTitle = QStringLiteral("Diagrammwerte als Textdatei");
    t.SettingsNotSaved = QStringLiteral("Die Einstellungen konnten nicht gespeichert werden: ");
    return t;
}

MainTexts english()
{
    MainTexts t;
    t.OpenFailed = QStringLiteral("Problems while opening the sounddevice ! Program stop");
    t.LeftTag = QStringLiteral(" le ");
    t.RightTag = QStringLiteral(" ri ");
    t.CaptureStartFailed = QStringLiteral("Problems while Start Sampling (");
    t.CaptureRestartFailed = QStringLiteral("Problems while Open Sampling (");
    t.CorrectionTestTitle = QStringLiteral("Correction curve of ");
    t.SweepFreqLimit = QStringLiteral("In/Out Freq. > Sample-Freq./2 ! Stop Sweeping ");
    t.NoFundamental = QStringLiteral(" no fundamental wave");
    t.CorrectionActive = QStringLiteral("Correction active");
    t.AnalogLevel = QStringLiteral(" analog Level");
    t.Level = QStringLiteral(" Level");
    t.CouldNotCreate = QStringLiteral(" could not created");
    t.CommentPrefix = QStringLiteral("remark:");
    t.HelpFile = QStringLiteral("sonmaine.hlp");
    t.SaveDialogTitle = QStringLiteral("Diagram values as text file");
    t.SettingsNotSaved = QStringLiteral("The settings could not be saved: ");
    return t;
}

MainTexts &current()
{
    static MainTexts t = german();
    return t;
}

} // namespace

const MainTexts &Texts() { return current(); }

bool IsCorrectionTestTitle(const QString &title)
{
    return title.startsWith(german().CorrectionTestTitle) || title.startsWith(english().CorrectionTestTitle);
}

void SetMainTexts(char language)
{
    if (language == 'D')
        current() = german();
    else if (language == 'E')
        current() = english();
}

} // namespace app
