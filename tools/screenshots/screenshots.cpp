// Pictures of the program's windows for the help pages and the README, made
// from the program itself on the offscreen platform: the virtual loopback
// card with known settings, one run of each page, every dialog once, in
// German and in English. Usage: sonalyx-screenshots OUTDIR [de|en ...]
// writes OUTDIR/<lang>/images/<name>.png.
#include "app/forms.h"
#include "app/mainform.h"
#include "app/resultdocument.h"
#include "audio/audioengine.h"
#include "display/diagramoptionsdialog.h"
#include "display/diagramwindow.h"
#include "display/impulsewindow.h"
#include "display/scopewindow.h"
#include "dialogs/calibrationdialog.h"
#include "dialogs/correctioneditor.h"
#include "dialogs/dcoffsetdialog.h"
#include "help/helpsystem.h"
#include "help/helptopics.h"
#include "help/helpwindow.h"
#include "measurement/document/measurementfile.h"
#include "display/overlaylistdialog.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"
#include "platform/runtime/utilities.h"
#include "settings/measurementstate.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

QString outDir;
int failures = 0;

void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        runEvents(20);
    }
    return true;
}

// Palette images: the windows use few colours, and an indexed PNG is a
// third of the size of a true-colour one.
void save(const QImage &image, const QString &name)
{
    const QString file = outDir + "/" + name + ".png";
    QImage small = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
    if (!small.save(file, "PNG", 9)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        ++failures;
        return;
    }
    std::printf("%s\n", qPrintable(file));
}

void save(QWidget *w, const QString &name) { save(w->grab().toImage(), name); }

template <class T>
T *find(const char *name)
{
    T *w = app::MainForm->findChild<T *>(name);
    if (!w) {
        std::fprintf(stderr, "no control %s\n", name);
        ++failures;
    }
    return w;
}

void click(const char *name)
{
    if (auto *b = find<QAbstractButton>(name))
        b->click();
}

void trigger(const char *name)
{
    if (auto *a = find<QAction>(name))
        a->trigger();
}

// Runs `open`, which shows a modal dialog, and pictures the dialog before
// closing it again with Cancel.
void modal(const std::function<void()> &open, const QString &name)
{
    bool seen = false;
    QTimer::singleShot(400, [&] {
        if (QWidget *d = QApplication::activeModalWidget()) {
            save(d, name);
            seen = true;
            if (auto *dialog = qobject_cast<QDialog *>(d))
                dialog->reject();
        }
    });
    open();
    if (!seen) {
        std::fprintf(stderr, "no dialog for %s\n", qPrintable(name));
        ++failures;
    }
}

// The sweep page shows the generator window docked onto it; on the
// offscreen platform the two are separate pictures, put together here.
QImage withGenerator(QWidget *main)
{
    QImage image = main->grab().toImage();
    QWidget *gen = app::GeneratorWindow();
    if (gen && gen->isVisible()) {
        QPainter p(&image);
        QPoint at = gen->frameGeometry().topLeft() - main->geometry().topLeft();
        p.drawPixmap(at * image.devicePixelRatio(), gen->grab());
    }
    return image;
}

// The windows around calibration and correction: a reading of the card's
// test sine, the DC offset dialog with values set by hand, and the editor on
// a small input correction file in `dir`.
void calibrationPictures(const QString &dir)
{
    trigger("Eichen1");
    TEichDlg *eich = app::EichDlg;
    if (!eich || !eich->isVisible()) {
        std::fprintf(stderr, "no calibration dialog\n");
        ++failures;
    } else {
        eich->Button1->click();
        const QString before = eich->Label3->text();
        if (!waitFor([eich, before] { return eich->Label3->text() != before; }, 10000)) {
            std::fprintf(stderr, "no calibration reading\n");
            ++failures;
        }
        runEvents(300);
        eich->Button2->click();
        runEvents(100);
        save(eich, "calibration");
        eich->CancelBtn->click();
    }

    // Offsets as a user might have set them against a card that reads a
    // little high on the left and low on the right.
    audio::SetDCOffsetL(-0.00125f);
    audio::SetDCOffsetR(0.00042f);
    modal([] { trigger("DCOffset1"); }, "dcoffset");
    audio::SetDCOffsetL(0.0f);
    audio::SetDCOffsetR(0.0f);

    const QString cor = dir + "/mic.cor";
    QFile f(cor);
    if (f.open(QIODevice::WriteOnly))
        f.write("20 -1.5\n50 -0.6\n100 -0.2\n1000 0\n5000 0.3\n10000 0.8\n20000 2.5\n");
    f.close();
    platform::SetFileDialogHandler([cor](const platform::FileDialogRequest &) { return cor; });
    trigger("EditEingangskorrekturdatei1");
    platform::SetFileDialogHandler({});
    TKorEdit *editor = app::KorEdit;
    if (!editor || !editor->isVisible()) {
        std::fprintf(stderr, "no correction editor\n");
        ++failures;
        return;
    }
    editor->resize(300, 210);
    runEvents(200);
    save(editor, "correctioneditor");
    editor->hide();
}

bool pictures(const char *lang)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/sonmain.ini";
    QFile f(ini);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    // An unpaced card with its test sine at 1 kHz, -6 dBFS: a spectrum with
    // the device model's harmonics, and a sweep of its response.
    f.write(QByteArray("[MAIN]\nSPRACHE=") + (QByteArray(lang) == "de" ? "D" : "E") +
            "\nPAGE=0\nLEFT=420\nTOP=40\n"
            "[LOOPBACK]\nPACED=FALSE\nSIGNAL=SINE\nSIGFREQ=1000\nSIGLEVEL=-6\nDISTORTION=-70\n"
            "[ANALYSE]\nTHDMESS=TRUE\n"
            "[FFT]\nSAMPLES=8192\nWIN=4\nCOMMENT=1 kHz, -6 dBFS\n"
            "[DIAGRAMM]\nWIDTH=640\nHEIGHT=400\nLEFT=0\nTOP=0\n"
            "[WOB]\nFROM=10\nTO=22000\nSTEPS=40\nPHASE=TRUE\nSTARTMESS=0\nCOMMENT=Virtual loopback 1\n"
            "DIAYMIN=-20\nDIAYMAX=5\nPMIN=-180\nPMAX=180\n"
            "[OSZI]\nDIV1=12\nDIV2=12\nTB=5\nWIDTH=400\nHEIGHT=330\n");
    f.close();
    platform::SetSettingsFileName(ini.toStdString());
    platform::SetMessageHandler([](const platform::MessageRequest &m) {
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
    });
    if (!app::CreateWindows())
        return false;
    TMainForm *main = app::MainForm;
    main->show();
    runEvents(200);
    auto *pages = find<QTabWidget>("PageControl1");
    if (!pages)
        return false;

    // Analyser: a few continuous rounds, then stopped on the last one.
    save(main, "mainwindow-analyser");
    click("StartButton");
    runEvents(1500);
    click("StopButton");
    runEvents(300);
    save(app::Diagramm, "diagram-spectrum");

    // The same tone with the harmonics line instead of THD+N.
    trigger("Harmonics1");
    click("StartButton");
    runEvents(1500);
    click("StopButton");
    runEvents(300);
    save(app::Diagramm, "diagram-harmonics");
    trigger("THDN1");

    // The dialogs around the analyser and the diagram.
    modal([] { trigger("Parameter1"); }, "analysis");
    modal([] { trigger("Skalierung1"); }, "scale");
    trigger("DiaEinMenu");
    runEvents(200);
    save(app::Diadlg, "diagramoptions");
    app::Diadlg->hide();
    modal([] { trigger("AudioInParameter1"); }, "iodialog");
    modal([] { trigger("AudioDevices1"); }, "devices");
    modal([] { trigger("ShowFeaturelist1"); }, "features");

    // Sweep page: the generator docked, a sweep with phase over the card's
    // device model.
    pages->setCurrentIndex(1);
    runEvents(300);
    save(withGenerator(main), "mainwindow-sweep");
    if (QWidget *gen = app::GeneratorWindow())
        save(gen, "generator");
    modal([] { click("WobDialogBut"); }, "sweepsetup");
    click("wobbelnBut");
    auto *start = find<QAbstractButton>("wobbelnBut");
    runEvents(200);
    if (!start || !waitFor([start] { return start->isEnabled(); }, 60000)) {
        std::fprintf(stderr, "the sweep did not end\n");
        ++failures;
    }
    runEvents(200);
    save(app::Diagramm, "diagram-sweep");
    // The stepped sweep kept as a result file, shown later over the log sweep.
    const QString stored = dir.path() + "/amplifier-before.sonalyx.json";
    {
        measure::MeasurementDocument doc;
        measure::FileError error;
        const bool built = app::BuildResultDocument(*app::Diagramm, measure::MeasurementKind::Sweep, "", doc);
        doc.Title = QByteArray(lang) == "de" ? "Verstärker vorher" : "amplifier before";
        if (!built || !measure::WriteMeasurementFile(stored.toStdString(), doc, error)) {
            std::fprintf(stderr, "the sweep was not saved\n");
            ++failures;
        }
    }

    // The same device model with one log sweep of three seconds from 20 Hz
    // to 20 kHz, the
    // harmonics as curves, and its impulse response.
    app::MS.Sweep.FreqFrom = 20;
    app::MS.Sweep.FreqTo = 20000;
    app::MS.Sweep.Log.Method = app::SweepMethod::LogSweep;
    app::MS.Sweep.Log.Seconds = 3.0;
    app::MS.Sweep.Log.Harmonics = true;
    click("wobbelnBut");
    runEvents(200);
    if (!start || !waitFor([start] { return start->isEnabled(); }, 60000)) {
        std::fprintf(stderr, "the log sweep did not end\n");
        ++failures;
    }
    runEvents(200);
    save(app::Diagramm, "diagram-logsweep");
    click("ImpulseBut");
    runEvents(300);
    display::TImpulseWindow *impulse = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (!impulse)
            impulse = qobject_cast<display::TImpulseWindow *>(w);
    if (impulse) {
        impulse->resize(560, 320);
        runEvents(200);
        save(impulse, "impulse");
        impulse->hide();
    } else {
        std::fprintf(stderr, "no impulse window\n");
        ++failures;
    }

    // Overlays over the log sweep: the stored stepped sweep and a limits
    // file whose band the model's roll-off leaves at both ends; their list.
    const QString limits = dir.path() + "/band.lim";
    {
        QFile l(limits);
        if (l.open(QIODevice::WriteOnly))
            l.write("# pass band of the amplifier\n40 -1 0.5\n15000 -1 0.5\n");
    }
    if (!main->OpenOverlayFile(stored) || !main->OpenLimitsFile(limits)) {
        std::fprintf(stderr, "the overlays were not opened\n");
        ++failures;
    }
    // A level axis of 10 dB around the pass band, so the lines stand apart.
    app::Diagramm->SetYRange(2.0f, -8.0f);
    runEvents(200);
    save(app::Diagramm, "diagram-overlays");
    app::Diagramm->ShowOverlayList();
    runEvents(200);
    save(app::Diagramm->OverlayList(), "overlaylist");
    app::Diagramm->OverlayList()->hide();
    while (app::Diagramm->Overlays().Count() > 0)
        app::Diagramm->RemoveOverlay(0);
    app::MS.Sweep.Log.Method = app::SweepMethod::Stepped;

    // Oscilloscope page: the window beside the main window, running.
    pages->setCurrentIndex(2);
    runEvents(1500);
    save(main, "mainwindow-scope");
    save(app::Oszidia, "scope");

    // Calibration is not offered on the oscilloscope's page.
    pages->setCurrentIndex(0);
    runEvents(300);
    calibrationPictures(dir.path());

    // The help window on the oscilloscope's page, as F1 opens it there.
    help::ShowTopic("Oscilloscope");
    runEvents(300);
    if (THelpWindow *h = help::Window()) {
        h->resize(760, 520);
        runEvents(200);
        save(h, "helpwindow");
    }

    main->close();
    app::DestroyWindows();
    platform::SetSettingsFileName({});
    return true;
}

// Starts the windows on a settings file of their own, in `lang`, with the
// settings `text` after the language (the card's settings are read when
// the windows start), runs `body` and closes them again; false when the
// windows could not start or `body` says so.
bool withOwnSettings(const char *lang, const char *text, const std::function<bool(TMainForm *)> &body)
{
    QTemporaryDir dir;
    const QString ini = dir.path() + "/sonmain.ini";
    QFile f(ini);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QByteArray("[MAIN]\nSPRACHE=") + (QByteArray(lang) == "de" ? "D" : "E") + "\n" + text);
    f.close();
    platform::SetSettingsFileName(ini.toStdString());
    if (!app::CreateWindows())
        return false;
    TMainForm *main = app::MainForm;
    main->show();
    const bool ok = body(main);
    main->close();
    app::DestroyWindows();
    platform::SetSettingsFileName({});
    return ok;
}

// A distortion sweep against level on a card whose test sine is off, the
// device model's harmonics (DISTORTION) under a polynomial whose H3 grows
// with the level, and a noise floor that THD+N meets at low levels; the
// level axis in dBu through 1000 mV at full scale.
bool distortionSweepPicture(const char *lang)
{
    return withOwnSettings(
        lang,
        "PAGE=1\nLEFT=420\nTOP=40\n"
        "[LOOPBACK]\nPACED=FALSE\nSIGNAL=OFF\nDISTORTION=-90\nPOLY=1,0.001,-0.02\nNOISE=-100\n"
        "[EICH]\nINPUT=1000\nOUTPUT=1000\n"
        "[DIAGRAMM]\nWIDTH=640\nHEIGHT=400\nLEFT=0\nTOP=0\n"
        "[WOB]\nREFMESS=0\nCOMMENT=Virtual loopback 1, 1 kHz\n"
        "[LOGSWEEP]\nMETHOD=DISTORTION\n"
        "[DISTSWEEP]\nVS=LEVEL\nFREQUENCY=1000\nFROMDB=-60\nTODB=0\nSTEPDB=3\nSETTLE=100\nUNIT=DBU\n"
        "HARMONICS=TRUE\n",
        [](TMainForm *) {
            runEvents(300);
            click("wobbelnBut");
            auto *start = find<QAbstractButton>("wobbelnBut");
            runEvents(200);
            if (!start || !waitFor([start] { return start->isEnabled(); }, 120000)) {
                std::fprintf(stderr, "the distortion sweep did not end\n");
                ++failures;
            }
            runEvents(200);
            save(app::Diagramm, "diagram-distortionsweep");
            return true;
        });
}

// The noise and dynamic-range window, on a card whose test sine is off (the
// idle noise is the device model's floor), 16 bits at 48 kHz.
bool noisePictures(const char *lang)
{
    return withOwnSettings(lang,
                           "PAGE=0\nLEFT=420\nTOP=40\n"
                           "[LOOPBACK]\nPACED=FALSE\nSIGNAL=OFF\nNOISE=-95\nDISTORTION=-90\n"
                           "[SDSOUND]\nVirtual_loopback_1sf=48000\nVirtual_loopback_1db=16\n"
                           "[NOISE]\nREFERENCE=0\n",
                           [](TMainForm *) {
                               runEvents(200);
                               trigger("NoiseDynamic1");
                               runEvents(200);
                               auto *window = find<QWidget>("TNoiseWindow");
                               if (!window)
                                   return false;
                               window->resize(720, 260);
                               click("NoiseMeasureBut");
                               runEvents(200);
                               save(window, "noise");
                               click("DynamicRangeBut");
                               runEvents(200);
                               save(window, "noise-dynamicrange");
                               window->hide();
                               return true;
                           });
}

// Intermodulation on the analyser: the generator plays the SMPTE two-tone
// signal (60 Hz + 7 kHz at 4:1) into a card whose test sine is off and whose
// device model distorts at -60 dB; the harmonics line reads its IMD. The
// generator window beside it shows the two-tone fields.
bool imdPictures(const char *lang)
{
    return withOwnSettings(
        lang,
        "PAGE=0\nLEFT=420\nTOP=40\n"
        "[LOOPBACK]\nPACED=FALSE\nSIGNAL=OFF\nDISTORTION=-60\nNOISE=-120\n"
        "[SDSOUND]\nVirtual_loopback_1sf=48000\nVirtual_loopback_1db=24\n"
        "[ANALYSE]\nHARMMESS=TRUE\n"
        "[FFT]\nSAMPLES=16384\nWIN=8\nCOMMENT=SMPTE 60 Hz + 7 kHz, 4:1\n"
        "[DIAGRAMM]\nWIDTH=640\nHEIGHT=400\nLEFT=0\nTOP=0\n"
        "[GEN]\nVOLL=-6\nVOLR=-6\nBELOOP=0\nMODE=5\nTTSTD=0\n",
        [](TMainForm *) {
            runEvents(200);
            QWidget *gen = app::GeneratorWindow();
            if (!gen)
                return false;
            auto press = [gen](const char *name) {
                if (auto *b = gen->findChild<QAbstractButton *>(name))
                    b->click();
            };
            gen->show();
            runEvents(100);
            press("Gstart");
            runEvents(300);
            save(gen, "generator-twotone");
            click("StartButton");
            runEvents(2500);
            click("StopButton");
            runEvents(300);
            save(app::Diagramm, "diagram-imd");
            press("Gstop");
            runEvents(100);
            return true;
        });
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName("Sonalyx");
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR [de|en ...]\n", argv[0]);
        return 2;
    }
    // The pages beside the pictures: the help window is pictured with them.
    help::SetHelpDirectory(QString::fromLocal8Bit(argv[1]));
    QStringList langs;
    for (int i = 2; i < argc; ++i)
        langs << QString::fromLocal8Bit(argv[i]);
    if (langs.isEmpty())
        langs = {"de", "en"};
    for (const QString &lang : langs) {
        outDir = QString::fromLocal8Bit(argv[1]) + "/" + lang + "/images";
        QDir().mkpath(outDir);
        if (!pictures(qPrintable(lang)) || !distortionSweepPicture(qPrintable(lang)))
            ++failures;
        if (!noisePictures(qPrintable(lang)) || !imdPictures(qPrintable(lang)))
            ++failures;
    }
    return failures == 0 ? 0 : 1;
}
