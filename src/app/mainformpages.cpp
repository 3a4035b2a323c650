// Main window: the menus and the page control with its three pages.
#include "app/analyserpage.h"
#include "app/forms.h"
#include "app/mainform.h"
#include "app/pagewidgets.h"
#include "app/scopepage.h"
#include "app/sweeppage.h"
#include "widgets/readout.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

using app::MS;

namespace {

QAction *item(QMenu *menu, const char *name, const QString &text, bool checkable = false)
{
    QAction *a = menu->addAction(text);
    a->setObjectName(name);
    a->setCheckable(checkable);
    return a;
}

QMenu *menu(QMenuBar *bar, const char *name, const QString &title)
{
    QMenu *m = bar->addMenu(title);
    m->setObjectName(name);
    m->menuAction()->setObjectName(QString(name) + "Action");
    return m;
}

} // namespace

void TMainForm::buildMenus()
{
    QMenuBar *bar = menuBar();
    File1 = menu(bar, "File1", "&Datei");
    SpeichernalsText1 = item(File1, "SpeichernalsText1", "&Speichern als Text");
    SaveHarmonics1 = item(File1, "SaveHarmonics1", "Harmonische speichern als Text");
    FilePrintItem = item(File1, "FilePrintItem", "&Drucken");
    FilePrintSetupItem = item(File1, "FilePrintSetupItem", "Drucker&einrichtung");
    File1->addSeparator();
    FileExitItem = item(File1, "FileExitItem", "&Beenden");

    Bearbeiten1 = menu(bar, "Bearbeiten1", "&Bearbeiten");
    Kommentar1 = item(Bearbeiten1, "Kommentar1", "Kommentar");
    EditCopyItem = item(Bearbeiten1, "EditCopyItem", "&Kopieren");

    Analyse1 = menu(bar, "Analyse1", "&Analyse");
    THDN1 = item(Analyse1, "THDN1", "THD+N", true);
    Noise1 = item(Analyse1, "Noise1", "Level", true);
    Harmonics1 = item(Analyse1, "Harmonics1", "Harmonics", true);
    NoiseDynamic1 = item(Analyse1, "NoiseDynamic1", "Rauschen und Dynamik...");
    Parameter1 = item(Analyse1, "Parameter1", "Parameter");
    Analyse1->menuAction()->setVisible(false);

    Korrektur1 = menu(bar, "Korrektur1", "&Korrektur");
    LadeEingangskorrekturdatei1 = item(Korrektur1, "LadeEingangskorrekturdatei1", "Lade &Eingangskorrekturdatei");
    Eingangskorrekturaktiv1 = item(Korrektur1, "Eingangskorrekturaktiv1", "Eingangskorrektur aktiv", true);
    EditEingangskorrekturdatei1 = item(Korrektur1, "EditEingangskorrekturdatei1", "Bearbeite Eingangskorrekturdatei");
    Korrektur1->addSeparator();
    LadeAusgangskorrekturdatei1 = item(Korrektur1, "LadeAusgangskorrekturdatei1", "Lade &Ausgangskorrekturdatei");
    Ausgangskorrekturaktiv1 = item(Korrektur1, "Ausgangskorrekturaktiv1", "Ausgangskorrektur aktiv", true);
    EditAusgangskorrekturdatei1 = item(Korrektur1, "EditAusgangskorrekturdatei1", "Bearbeite Ausgangskorrekturdatei");
    Korrektur1->addSeparator();
    Testekorrekturdatei1 = item(Korrektur1, "Testekorrekturdatei1", "Teste Korrekturdateien");
    Korrektur1->menuAction()->setVisible(false);

    Diagramm1 = menu(bar, "Diagramm1", "&Diagramm");
    DiaEinMenu = item(Diagramm1, "DiaEinMenu", "&Einstellungen");
    Skalierung1 = item(Diagramm1, "Skalierung1", "&Skalierung");
    Diagramm1->addSeparator();
    dbFS1 = item(Diagramm1, "dbFS1", "dBFS", true);
    dbV1 = item(Diagramm1, "dbV1", "dBV", true);
    dbu1 = item(Diagramm1, "dbu1", "dBu", true);
    dbm1 = item(Diagramm1, "dbm1", "dBm", true);

    Einstellungen1 = menu(bar, "Einstellungen1", "&Einstellungen");
    Eichen1 = item(Einstellungen1, "Eichen1", "&Kalibrierung");
    ShowFeaturelist1 = item(Einstellungen1, "ShowFeaturelist1", "&Featureliste");
    Einstellungen1->addSeparator();
    AudioDevices1 = item(Einstellungen1, "AudioDevices1", "Audio Input Device");
    AudioOutDevice1 = item(Einstellungen1, "AudioOutDevice1", "Audio Output Device");
    AudioInParameter1 = item(Einstellungen1, "AudioInParameter1", "Audio In Parameter");
    AudioOutParameter1 = item(Einstellungen1, "AudioOutParameter1", "Audio Out Parameter");
    DCOffset1 = item(Einstellungen1, "DCOffset1", "DC Offset");
    Einstellungen1->addSeparator();
    WaveInChannel1 = Einstellungen1->addMenu("Wave In Channel");
    WaveInChannel1->setObjectName("WaveInChannel1");
    for (int i = 0; i < 19; ++i) {
        Mix[i] = item(WaveInChannel1, i == 0 ? "Mix01" : qPrintable(QString("Mix%11").arg(i)),
                      QString("Line %1").arg(i), true);
        Mix[i]->setVisible(false);
    }
    MixerSupport1 = item(Einstellungen1, "MixerSupport1", "Mixer Support OFF");
    Einstellungen1->addSeparator();
    Reset1 = item(Einstellungen1, "Reset1", "Reset");

    deutschEnglish1 = bar->addAction("deutsch/English");
    deutschEnglish1->setObjectName("deutschEnglish1");
    deutschEnglish1->setVisible(false);

    Hilfe1 = menu(bar, "Hilfe1", "&?");
    HelpContentsItem = item(Hilfe1, "HelpContentsItem", "&Inhalt");
    HelpAboutItem = item(Hilfe1, "HelpAboutItem", "&Info...");

    connect(FileExitItem, &QAction::triggered, this, &TMainForm::FileExitItemClick);
    connect(deutschEnglish1, &QAction::triggered, this, &TMainForm::deutschEnglish1Click);
    connect(Reset1, &QAction::triggered, this, &TMainForm::Reset1Click);
    connect(HelpAboutItem, &QAction::triggered, this, &TMainForm::HelpAboutItemClick);
    connect(Eingangskorrekturaktiv1, &QAction::triggered, this, &TMainForm::Eingangskorrekturaktiv1Click);
    connect(Ausgangskorrekturaktiv1, &QAction::triggered, this, &TMainForm::Ausgangskorrekturaktiv1Click);
    connect(LadeEingangskorrekturdatei1, &QAction::triggered, this, [this] { LoadCorrectionFile(true); });
    connect(LadeAusgangskorrekturdatei1, &QAction::triggered, this, [this] { LoadCorrectionFile(false); });
    connect(Testekorrekturdatei1, &QAction::triggered, this, &TMainForm::Testekorrekturdatei1Click);
    connect(SpeichernalsText1, &QAction::triggered, this, &TMainForm::SpeichernalsText1Click);
    connect(AudioDevices1, &QAction::triggered, this, [this] { ChooseDevice(true); });
    connect(AudioOutDevice1, &QAction::triggered, this, [this] { ChooseDevice(false); });
    connect(ShowFeaturelist1, &QAction::triggered, this, &TMainForm::ShowFeaturelist1Click);
    connect(AudioInParameter1, &QAction::triggered, this, &TMainForm::AudioInParameter1Click);
    connect(AudioOutParameter1, &QAction::triggered, this, &TMainForm::AudioOutParameter1Click);
    connect(THDN1, &QAction::triggered, this, &TMainForm::THDN1Click);
    connect(Noise1, &QAction::triggered, this, &TMainForm::Noise1Click);
    connect(Parameter1, &QAction::triggered, this, &TMainForm::Parameter1Click);
    connectDistortionMenus();
    QAction *units[4] = {dbFS1, dbV1, dbu1, dbm1};
    for (int i = 0; i < 4; ++i)
        connect(units[i], &QAction::triggered, this, [this, i] { SetLevelUnit(i); });
}

void TMainForm::buildPages()
{
    auto *central = new QWidget(this);
    auto *lay = new QVBoxLayout(central);
    lay->setContentsMargins(2, 2, 2, 2);
    lay->setSpacing(2);
    PageControl1 = app::Named(new QTabWidget(central), "PageControl1");
    analyser_ = new app::AnalyserPage(*this);
    sweepPage_ = new app::SweepPage(*this);
    scope_ = new app::ScopePage(*this);
    TabSheet1 = analyser_;
    TabSheet2 = sweepPage_;
    TabSheet3 = scope_;
    // The shell's parts on the pages: the audio parameters and the volumes.
    connect(analyser_->Binpopt, &QPushButton::clicked, this, &TMainForm::BinpoptClick);
    connect(sweepPage_->Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);
    connectVolumeBars();
    PageControl1->addTab(TabSheet1, "Spektrumanalyser");
    PageControl1->addTab(TabSheet2, "Frequenzgenerator");
    PageControl1->addTab(TabSheet3, "Oszilloskop");
    lay->addWidget(PageControl1);
    setCentralWidget(central);

    StatusLine = app::PlainLabel("StatusLine", " ", this);
    StatusLine->setFrameShape(QFrame::StyledPanel);
    StatusLine->setFrameShadow(QFrame::Sunken);
    statusBar()->addWidget(StatusLine, 1);
    platform::MarkReadout(StatusLine, "Input / output device");
    statusBar()->setSizeGripEnabled(false);

    // The leave operation of the old page runs before the enter operation of
    // the new one; QTabWidget reports only the new index, so the old one is
    // remembered.
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (currentPage_ >= 0 && currentPage_ != index)
            PageControl1Changing(currentPage_);
        PageControl1Change(index);
    });
}
