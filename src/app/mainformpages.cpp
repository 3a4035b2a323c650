// Main window: menus, the three pages' controls, and the page enter/leave
// operations.
#include "app/forms.h"
#include "app/mainform.h"
#include "app/mainformtexts.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "widgets/spinbutton.h"
#include "platform/runtime/messages.h"
#include "widgets/radiogroup.h"
#include "widgets/readout.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
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

template <class W>
W *named(W *w, const char *name)
{
    w->setObjectName(name);
    return w;
}

// Labels show their text as it is: device, mixer and file names come from
// outside and must never be taken for markup.
QLabel *label(const char *name, const QString &text, QWidget *parent)
{
    QLabel *l = named(new QLabel(text, parent), name);
    l->setTextFormat(Qt::PlainText);
    return l;
}

} // namespace

void TMainForm::buildMenus()
{
    QMenuBar *bar = menuBar();
    File1 = menu(bar, "File1", "&Datei");
    SpeichernalsText1 = item(File1, "SpeichernalsText1", "&Speichern als Text");
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
    PageControl1 = named(new QTabWidget(central), "PageControl1");
    TabSheet1 = buildAnalyserPage();
    TabSheet2 = buildSweepPage();
    TabSheet3 = buildScopePage();
    connectVolumeBars();
    PageControl1->addTab(TabSheet1, "Spektrumanalyser");
    PageControl1->addTab(TabSheet2, "Frequenzgenerator");
    PageControl1->addTab(TabSheet3, "Oszilloskop");
    lay->addWidget(PageControl1);
    setCentralWidget(central);

    StatusLine = label("StatusLine", " ", this);
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

QWidget *TMainForm::buildAnalyserPage()
{
    auto *page = named(new QWidget, "TabSheet1");
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(3);

    FFTwinGroup = named(new platform::RadioGroup("Window", page, 3), "FFTwinGroup");
    FFTwinGroup->setItems({"None", "Hamming", "van Hann", "Blackman", "Bla/Harris", "Flat-Top",
                           "Rife-Vinc1", "Rife-Vinc2", "Rife-Vinc3"});
    FFTpointsgroup = named(new platform::RadioGroup("FFT-Punkte", page, 2), "FFTpointsgroup");
    RunningGroup = named(new platform::RadioGroup("Betrieb", page), "RunningGroup");
    RunningGroup->setItems({"einzeln", "fortlaufend", "Trigger"});

    StartButton = named(new QPushButton("START", page), "StartButton");
    StopButton = named(new QPushButton("STOP", page), "StopButton");
    Binpopt = named(new QPushButton("In-Para", page), "Binpopt");

    Label6 = label("Label6", "Mittelwerte ", page);
    AverVal = named(new QSpinBox(page), "AverVal");
    AverVal->setRange(1, 9999);
    AverVal->setValue(1);
    Label6->setBuddy(AverVal);
    MeasureLeft = named(new QCheckBox("links K1", page), "MeasureLeft");
    MeasureRight = named(new QCheckBox("rechts K2", page), "MeasureRight");
    MeasureLeft->setChecked(true);
    MeasureRight->setChecked(true);
    Label2 = label("Label2", ".", page);
    coract = label("coract", ".", page);
    Label15 = label("Label15", QString(18, ' '), page);
    Ldb = label("Ldb", "16 Bit", page);
    Lsf = label("Lsf", "44100 Hz", page);
    UpDown1 = named(new QSpinBox(page), "UpDown1");
    Label14 = label("Label14", "", page);
    UpDown1->hide();
    Label14->hide();

    GroupBox1 = named(new QGroupBox(" Input: ", page), "GroupBox1");
    auto *volLay = new QHBoxLayout(GroupBox1);
    volLay->setContentsMargins(4, 2, 4, 2);
    ScrollBar3 = named(new QScrollBar(Qt::Horizontal, GroupBox1), "ScrollBar3");
    ScrollBar3->setRange(0, 100);
    ScrollBar3->setAccessibleName("Recording volume");
    Label3 = label("Label3", "100%", GroupBox1);
    platform::MarkReadout(Label3, "Recording volume");
    platform::MarkReadout(Label2, "Overloads");
    platform::MarkReadout(coract, "Correction");
    platform::MarkReadout(Ldb, "Input resolution");
    platform::MarkReadout(Lsf, "Input sample rate");
    volLay->addWidget(ScrollBar3, 1);
    volLay->addWidget(Label3);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(StartButton);
    buttons->addWidget(StopButton);
    buttons->addWidget(Binpopt);
    buttons->addStretch();

    auto *avg = new QHBoxLayout;
    avg->addWidget(Label6);
    avg->addWidget(AverVal);
    avg->addStretch();

    auto *status = new QVBoxLayout;
    status->addWidget(MeasureLeft);
    status->addWidget(MeasureRight);
    status->addWidget(Label2);
    status->addWidget(coract);
    status->addWidget(Label15);
    status->addWidget(Ldb);
    status->addWidget(Lsf);
    status->addStretch();

    grid->addWidget(FFTwinGroup, 0, 0, 1, 2);
    grid->addLayout(buttons, 0, 2, 2, 1);
    grid->addLayout(status, 0, 3, 3, 1);
    grid->addWidget(FFTpointsgroup, 1, 0);
    grid->addWidget(RunningGroup, 1, 1);
    grid->addLayout(avg, 2, 0, 1, 2);
    grid->addWidget(GroupBox1, 3, 0, 1, 4);

    connect(FFTpointsgroup, &platform::RadioGroup::itemClicked, this, &TMainForm::FFTpointsgroupClick);
    connect(FFTwinGroup, &platform::RadioGroup::itemClicked, this, &TMainForm::FFTwinGroupClick);
    connect(RunningGroup, &platform::RadioGroup::itemClicked, this, &TMainForm::RunningGroupClick);
    connect(MeasureLeft, &QCheckBox::toggled, this, [](bool on) { MS.MeasureLeftOn = on; });
    connect(MeasureRight, &QCheckBox::toggled, this, [](bool on) { MS.MeasureRightOn = on; });
    connect(Binpopt, &QPushButton::clicked, this, &TMainForm::BinpoptClick);
    connectAnalyserPage();
    return page;
}

QWidget *TMainForm::buildSweepPage()
{
    auto *page = named(new QWidget, "TabSheet2");
    auto *grid = new QGridLayout(page);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(3);

    Wobbeln = named(new QGroupBox("Wobbeln", page), "Wobbeln");
    auto *wl = new QVBoxLayout(Wobbeln);
    wl->setContentsMargins(4, 2, 4, 2);
    wobbelnBut = named(new QPushButton("START", Wobbeln), "wobbelnBut");
    WobDialogBut = named(new QPushButton("Setup", Wobbeln), "WobDialogBut");
    Label7 = label("Label7", "Pegel L R ", Wobbeln);
    Label7->setFrameShape(QFrame::Panel);
    Label7->setFrameShadow(QFrame::Sunken);
    platform::MarkReadout(Label7, "Pegel L R");
    wl->addWidget(wobbelnBut);
    wl->addWidget(Label7);
    wl->addWidget(WobDialogBut);

    STOPbut = named(new QPushButton("STOP", page), "STOPbut");
    auto *freq = new QHBoxLayout;
    FreqText = label("FreqText", "0", page);
    FreqText->setFrameShape(QFrame::Panel);
    FreqText->setFrameShadow(QFrame::Sunken);
    FreqText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    platform::MarkReadout(FreqText, "Frequency Hz");
    freq->addWidget(FreqText, 1);
    freq->addWidget(new QLabel("Hz", page));

    Pegelbox = named(new QGroupBox("Level", page), "Pegelbox");
    auto *pl = new QGridLayout(Pegelbox);
    pl->setContentsMargins(4, 2, 4, 2);
    ScrollBar1 = named(new QScrollBar(Qt::Vertical, Pegelbox), "ScrollBar1");
    ScrollBar2 = named(new QScrollBar(Qt::Vertical, Pegelbox), "ScrollBar2");
    ScrollBar1->setRange(0, 100);
    ScrollBar2->setRange(0, 100);
    ScrollBar1->setAccessibleName("Recording volume");
    ScrollBar2->setAccessibleName("Output volume");
    // Label8 shows the recording volume under its bar, Label1 the output volume.
    Label1 = label("Label1", "", Pegelbox);
    Label8 = label("Label8", "100%", Pegelbox);
    Label10 = label("Label10", "In       Out", Pegelbox);
    Button2 = named(new QPushButton("Out-Para", Pegelbox), "Button2");
    platform::MarkReadout(Label8, "Recording volume");
    platform::MarkReadout(Label1, "Output volume");
    pl->addWidget(Label10, 0, 0, 1, 2);
    pl->addWidget(ScrollBar1, 1, 0, Qt::AlignHCenter);
    pl->addWidget(ScrollBar2, 1, 1, Qt::AlignHCenter);
    pl->addWidget(Label8, 2, 0);
    pl->addWidget(Label1, 2, 1);
    pl->addWidget(Button2, 3, 0, 1, 2);

    Label9 = label("Label9", "Inp:", page);
    Wobinptxt = label("Wobinptxt", " Inp: ", page);
    platform::MarkReadout(Wobinptxt, "Inp:");

    Generator = named(new QGroupBox("Generator", page), "Generator");
    Generator->setMinimumSize(230, 150);
    auto *gl = new QVBoxLayout(Generator);
    gl->addStretch();
    Button1 = named(new QPushButton("zurück", Generator), "Button1");
    gl->addWidget(Button1, 0, Qt::AlignRight);

    grid->addWidget(Wobbeln, 0, 0);
    grid->addWidget(STOPbut, 1, 0);
    grid->addLayout(freq, 2, 0);
    grid->addWidget(Label9, 3, 0);
    grid->addWidget(Wobinptxt, 4, 0);
    grid->addWidget(Pegelbox, 0, 1, 5, 1);
    grid->addWidget(Generator, 0, 2, 5, 1);
    grid->setColumnStretch(2, 1);

    connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);
    connectSweepPage();
    return page;
}

QWidget *TMainForm::buildScopePage()
{
    auto *page = named(new QWidget, "TabSheet3");
    auto *row = new QHBoxLayout(page);
    row->setContentsMargins(4, 4, 4, 4);
    row->setSpacing(3);

    auto channel = [page](const char *name, const QString &title, QScrollBar *&pos, SpinButton *&spin,
                          QLabel *&vdiv, QCheckBox *&gnd, const char *posName, const char *spinName,
                          const char *vdivName, const char *gndName) {
        auto *box = named(new QGroupBox(title, page), name);
        auto *l = new QGridLayout(box);
        l->setContentsMargins(4, 2, 4, 2);
        pos = named(new QScrollBar(Qt::Vertical, box), posName);
        pos->setRange(-400, 400);
        pos->setAccessibleName(title + " position");
        spin = named(new SpinButton(box), spinName);
        spin->setAccessibleName(title + " volts per division");
        vdiv = label(vdivName, "100mV", box);
        vdiv->setFrameShape(QFrame::Panel);
        vdiv->setFrameShadow(QFrame::Sunken);
        platform::MarkReadout(vdiv, title + " volts per division");
        gnd = named(new QCheckBox("Gnd", box), gndName);
        l->addWidget(pos, 0, 0, 3, 1);
        l->addWidget(vdiv, 0, 1);
        l->addWidget(spin, 0, 2);
        l->addWidget(gnd, 1, 1, 1, 2);
        l->setRowStretch(2, 1);
        return box;
    };
    ScopeChannel1 = channel("ScopeChannel1", "Channel 1 or Y", SCRyposCh1, SpinButton2, VperDiv1, CheckBox1,
                            "SCRyposCh1", "SpinButton2", "VperDiv1", "CheckBox1");
    ScopeChannel2 = channel("ScopeChannel2", "Channel 2 or X", SCRyposch2, SpinButton1, VperDiv2, CheckBox3,
                            "SCRyposch2", "SpinButton1", "VperDiv2", "CheckBox3");

    ScopeTimebase = named(new QGroupBox("Timebase", page), "ScopeTimebase");
    auto *tl = new QGridLayout(ScopeTimebase);
    tl->setContentsMargins(4, 2, 4, 2);
    Panel3 = label("Panel3", "500µs", ScopeTimebase);
    Panel3->setFrameShape(QFrame::Panel);
    Panel3->setFrameShadow(QFrame::Sunken);
    SpinButton3 = named(new SpinButton(ScopeTimebase), "SpinButton3");
    SpinButton3->setAccessibleName("Timebase");
    Label5 = label("Label5", ".", ScopeTimebase);
    label11 = label("label11", "44100", ScopeTimebase);
    Label12 = label("Label12", "Hz", ScopeTimebase);
    platform::MarkReadout(Panel3, "Timebase");
    platform::MarkReadout(Label5, "Overloads");
    platform::MarkReadout(label11, "Sample rate");
    SCRtrig = named(new QScrollBar(Qt::Vertical, ScopeTimebase), "SCRtrig");
    SCRtrig->setRange(-200, 200);
    SCRtrig->setAccessibleName("Trigger level");
    CheckBox2 = named(new QCheckBox("+ / -", ScopeTimebase), "CheckBox2");
    RadioButton1 = named(new QRadioButton("Ch1", ScopeTimebase), "RadioButton1");
    RadioButton2 = named(new QRadioButton("Ch2", ScopeTimebase), "RadioButton2");
    RadioButton1->setChecked(true);
    OsziStartStop = named(new QPushButton("Start", ScopeTimebase), "OsziStartStop");
    tl->addWidget(Panel3, 0, 0);
    tl->addWidget(SpinButton3, 0, 1);
    tl->addWidget(label11, 1, 0);
    tl->addWidget(Label12, 1, 1);
    tl->addWidget(Label5, 2, 0, 1, 2);
    tl->addWidget(CheckBox2, 3, 0, 1, 2);
    tl->addWidget(RadioButton1, 4, 0);
    tl->addWidget(RadioButton2, 4, 1);
    tl->addWidget(OsziStartStop, 5, 0, 1, 2);
    tl->addWidget(SCRtrig, 0, 2, 6, 1);

    row->addWidget(ScopeChannel1);
    row->addWidget(ScopeChannel2);
    row->addWidget(ScopeTimebase);
    for (SpinButton *spin : {SpinButton1, SpinButton2, SpinButton3}) {
        spin->setFixedSize(20, 30);
        spin->setFocusPolicy(Qt::StrongFocus);
    }
    for (QLabel *panel : {VperDiv1, VperDiv2, Panel3}) {
        panel->setFixedHeight(30);
        panel->setMinimumWidth(60);
        panel->setAlignment(Qt::AlignCenter);
    }
    connectScopePage();
    return page;
}
