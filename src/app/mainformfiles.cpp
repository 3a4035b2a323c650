// Main window commands for result files: save the page's result as a
// measurement file, open one (or a limits file) as an overlay of the
// diagram, the recent files, and the overlay list.
#include "app/forms.h"
#include "app/mainform.h"
#include "app/resultdocument.h"
#include "display/diagramoverlays.h"
#include "display/diagramwindow.h"
#include "measurement/document/measurementfile.h"
#include "measurement/limits.h"
#include "platform/inifile.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTabWidget>

using app::MS;

namespace {

QString Tr(const char *german, const char *english)
{
    return QString::fromUtf8(MS.Language == 'E' ? english : german);
}

QString KindText(measure::MeasurementKind kind)
{
    switch (kind) {
    case measure::MeasurementKind::Spectrum: return Tr("Spektrum", "spectrum");
    case measure::MeasurementKind::Sweep: return Tr("Wobbelung", "stepped sweep");
    case measure::MeasurementKind::LogSweep: return Tr("Log-Sweep", "log sweep");
    default: return QString::fromLatin1(measure::KindName(kind));
    }
}

// The sweep page shows stepped and log sweeps alike: both are a level (and
// phase) over frequency, so either kind overlays either.
bool KindFitsPage(measure::MeasurementKind file, measure::MeasurementKind page)
{
    const auto sweep = [](measure::MeasurementKind k) {
        return k == measure::MeasurementKind::Sweep || k == measure::MeasurementKind::LogSweep;
    };
    return file == page || (sweep(file) && sweep(page));
}

QString FileDialogStart(const std::string &folder)
{
    return folder.empty() ? QString() : QString::fromStdString(folder) + QLatin1Char('/');
}

} // namespace

void TMainForm::buildResultFileMenus()
{
    auto make = [this](const char *name) {
        auto *a = new QAction(this);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    SaveResult1 = make("SaveResult1");
    OpenOverlay1 = make("OpenOverlay1");
    OpenLimits1 = make("OpenLimits1");
    RecentFiles1 = new QMenu(File1);
    RecentFiles1->setObjectName(QStringLiteral("RecentFiles1"));
    RecentFiles1->menuAction()->setObjectName(QStringLiteral("RecentFiles1Action"));
    File1->insertAction(SpeichernalsText1, SaveResult1);
    File1->insertAction(SpeichernalsText1, OpenOverlay1);
    File1->insertAction(SpeichernalsText1, OpenLimits1);
    File1->insertMenu(SpeichernalsText1, RecentFiles1);
    File1->insertSeparator(SpeichernalsText1);
    Overlays1 = make("Overlays1");
    Diagramm1->addAction(Overlays1);
    connect(SaveResult1, &QAction::triggered, this, &TMainForm::SaveResultClick);
    connect(OpenOverlay1, &QAction::triggered, this, &TMainForm::OpenOverlayClick);
    connect(OpenLimits1, &QAction::triggered, this, &TMainForm::OpenLimitsClick);
    connect(Overlays1, &QAction::triggered, this, [] {
        if (app::Diagramm) {
            app::Diagramm->show();
            app::Diagramm->ShowOverlayList();
        }
    });
    SetFileMenuLanguage(MS.Language);
}

void TMainForm::SetFileMenuLanguage(char language)
{
    const auto Tr = [language](const char *german, const char *english) {
        return QString::fromUtf8(language == 'E' ? english : german);
    };
    SaveResult1->setText(Tr("Ergebnis spei&chern...", "Save &result..."));
    OpenOverlay1->setText(Tr("Als Überlagerung ö&ffnen...", "&Open as overlay..."));
    OpenLimits1->setText(Tr("&Grenzwerte als Überlagerung...", "&Limits as overlay..."));
    RecentFiles1->setTitle(Tr("&Zuletzt geöffnet", "Recent &files"));
    Overlays1->setText(Tr("Ü&berlagerungen...", "O&verlays..."));
    RefreshRecentMenu();
}

void TMainForm::RefreshRecentMenu()
{
    RecentFiles1->clear();
    int n = 0;
    for (const std::string &file : recent_.Files) {
        ++n;
        QAction *a = RecentFiles1->addAction(QStringLiteral("&%1 %2").arg(n).arg(QString::fromStdString(file)));
        a->setObjectName(QStringLiteral("RecentFile%1").arg(n));
        const QString name = QString::fromStdString(file);
        connect(a, &QAction::triggered, this, [this, name] { OpenOverlayFile(name); });
    }
    RecentFiles1->setEnabled(n > 0);
}

void TMainForm::ReadRecentFiles(const platform::IniFile &ini)
{
    recent_.Read(ini);
    if (RecentFiles1)
        RefreshRecentMenu();
}

void TMainForm::WriteRecentFiles(platform::IniFile &ini) const { recent_.Write(ini); }

void TMainForm::RememberFile(const QString &fileName)
{
    recent_.Add(fileName.toStdString());
    RefreshRecentMenu();
}

void TMainForm::SaveResultClick()
{
    const std::optional<measure::MeasurementKind> kind = app::PageResultKind(PageControl1->currentIndex());
    measure::MeasurementDocument document;
    TDiagramm *d = app::Diagramm;
    if (!kind || !d || !app::BuildResultDocument(*d, *kind, d->StatusText().toStdString(), document)) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              Tr("Diese Seite zeigt kein Ergebnis, das gespeichert werden kann.",
                                 "This page shows no result that can be saved."));
        return;
    }
    platform::FileDialogRequest request;
    request.save = true;
    request.title = Tr("Ergebnis speichern", "Save result");
    request.filter = Tr("Messergebnis (*.sonalyx.json)", "Measurement result (*.sonalyx.json)");
    request.initialName = FileDialogStart(recent_.LastFolder);
    QString name = platform::AskFileName(this, request);
    if (name.isEmpty())
        return;
    if (!name.endsWith(QLatin1String(".json")))
        name += QLatin1String(measure::kMeasurementFileSuffix);
    measure::FileError error;
    if (!measure::WriteMeasurementFile(QFile::encodeName(name).toStdString(), document, error)) {
        platform::ShowMessage(this, platform::MessageKind::Error,
                              QString::fromStdString(measure::FileErrorText(error, MS.Language)));
        return;
    }
    RememberFile(name);
}

void TMainForm::OpenOverlayClick()
{
    platform::FileDialogRequest request;
    request.title = Tr("Als Überlagerung öffnen", "Open as overlay");
    request.filter = Tr("Messergebnis (*.sonalyx.json);;Alle Dateien (*)",
                        "Measurement result (*.sonalyx.json);;All files (*)");
    request.initialName = FileDialogStart(recent_.LastFolder);
    const QString name = platform::AskFileName(this, request);
    if (!name.isEmpty())
        OpenOverlayFile(name);
}

bool TMainForm::OpenOverlayFile(const QString &fileName)
{
    TDiagramm *d = app::Diagramm;
    const std::optional<measure::MeasurementKind> pageKind = app::PageResultKind(PageControl1->currentIndex());
    if (!d || !pageKind) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              Tr("Überlagerungen zeigt das Diagramm des Analysators und der Wobbelung.",
                                 "Overlays are shown in the diagram of the analyser and the sweep."));
        return false;
    }
    if (d->Overlays().Full()) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              Tr("Das Diagramm zeigt schon %1 Überlagerungen; entfernen Sie zuerst eine.",
                                 "The diagram shows %1 overlays already; remove one first.")
                                  .arg(display::kMaxOverlays));
        return false;
    }
    // Everything is read and checked before the diagram takes anything.
    measure::MeasurementDocument document;
    measure::FileError error;
    const std::string file = QFile::encodeName(fileName).toStdString();
    if (!measure::ReadMeasurementFile(file, document, error)) {
        platform::ShowMessage(this, platform::MessageKind::Error,
                              QString::fromStdString(measure::FileErrorText(error, MS.Language)));
        return false;
    }
    if (!KindFitsPage(document.Kind, *pageKind)) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              Tr("%1 enthält ein Ergebnis der Art \"%2\"; diese Seite zeigt \"%3\".",
                                 "%1 holds a result of the kind \"%2\"; this page shows \"%3\".")
                                  .arg(fileName, KindText(document.Kind), KindText(*pageKind)));
        return false;
    }
    display::Overlay overlay;
    if (!display::OverlayFromDocument(document, fileName.toStdString(), overlay)) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              Tr("%1 enthält keine Kurve über der Frequenz.", "%1 holds no curve over frequency.")
                                  .arg(fileName));
        return false;
    }
    d->AddOverlay(std::move(overlay));
    RememberFile(fileName);
    d->show();
    return true;
}

void TMainForm::OpenLimitsClick()
{
    platform::FileDialogRequest request;
    request.title = Tr("Grenzwerte als Überlagerung", "Limits as overlay");
    request.filter = Tr("Grenzwertdatei (*.txt *.lim);;Alle Dateien (*)", "Limits file (*.txt *.lim);;All files (*)");
    request.initialName = FileDialogStart(recent_.LastFolder);
    const QString name = platform::AskFileName(this, request);
    if (!name.isEmpty())
        OpenLimitsFile(name);
}

bool TMainForm::OpenLimitsFile(const QString &fileName)
{
    TDiagramm *d = app::Diagramm;
    if (!d)
        return false;
    measure::Limits limits;
    std::string error;
    display::Overlay overlay;
    if (!limits.Load(QFile::encodeName(fileName).toStdString(), error)) {
        platform::ShowMessage(this, platform::MessageKind::Error, fileName + ": " + QString::fromStdString(error));
        return false;
    }
    if (!display::OverlayFromLimits(limits, fileName.toStdString(), overlay)) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              Tr("%1 enthält keine Grenzkurve (Zeilen \"Frequenz unten oben\").",
                                 "%1 holds no limit curve (rows \"frequency lower upper\").")
                                  .arg(fileName));
        return false;
    }
    if (d->Overlays().LimitsIndex() < 0 && d->Overlays().Full()) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              Tr("Das Diagramm zeigt schon %1 Überlagerungen; entfernen Sie zuerst eine.",
                                 "The diagram shows %1 overlays already; remove one first.")
                                  .arg(display::kMaxOverlays));
        return false;
    }
    d->AddOverlay(std::move(overlay));
    d->show();
    return true;
}
