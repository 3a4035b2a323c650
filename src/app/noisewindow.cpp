// The noise and dynamic-range window (see noisewindow.h).
#include "app/noisewindow.h"

#include "app/resultdocument.h"
#include "audio/audioengine.h"
#include "audio/outputengine.h"
#include "dsp/fft.h"
#include "measurement/blockwait.h"
#include "measurement/document/measurementfile.h"
#include "measurement/streamwarningsjson.h"
#include "settings/measurementstate.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"
#include "widgets/readout.h"

#include <QDoubleSpinBox>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

namespace app {

namespace {

constexpr int kFftSize = 16384;
constexpr int kAverages = 4;
constexpr int kSettleMs = 300;
constexpr double kLowHz = 20.0;

QString T(const char *german, const char *english)
{
    return QString::fromUtf8(MS.Language == 'E' ? english : german);
}

// Two decimals with a decimal point; a dash where there is no value
// (digital silence has no noise level).
QString Cell(double v) { return std::isfinite(v) ? QString::number(v, 'f', 2) : QStringLiteral("\u2013"); }

template <class W>
W *Named(W *w, const char *name, const QString &accessible = {})
{
    w->setObjectName(name);
    if (!accessible.isEmpty())
        w->setAccessibleName(accessible);
    return w;
}

// The capture as the command line describes it in its documents.
QJsonObject SpectrumObject(int overloads)
{
    return QJsonObject{{"fft_size", kFftSize},
                       {"window", dsp::WindowItemText(dsp::kWindowRifeVincent3)},
                       {"averages", kAverages},
                       {"averaging", "power"},
                       {"unit", "dBFS"},
                       {"unit_shift_db", 0},
                       {"overloads", overloads}};
}

// A result document of `kind` as the command line's `command` writes it:
// the program's settings, the capture and the stream warnings.
measure::MeasurementDocument NewDocument(measure::MeasurementKind kind, const char *command, int overloads,
                                         const std::vector<audio::StreamWarning> &warnings)
{
    measure::MeasurementDocument doc;
    doc.Kind = kind;
    FillResultSettings(kind, doc.Settings);
    doc.Settings.Command = command;
    doc.Settings.Extra.insert("spectrum", SpectrumObject(overloads));
    doc.Warnings = measure::StreamWarningsJson(warnings);
    return doc;
}

} // namespace

TNoiseWindow::TNoiseWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName("TNoiseWindow");
    setModal(false);
    NoiseReferenceLabel = Named(new QLabel(this), "NoiseReferenceLabel");
    NoiseReference = Named(new QDoubleSpinBox(this), "NoiseReference");
    NoiseReference->setRange(kNoiseReferenceMin, kNoiseReferenceMax);
    NoiseReference->setDecimals(1);
    NoiseReference->setSingleStep(1.0);
    NoiseReference->setSuffix(QStringLiteral(" dBFS"));
    NoiseReference->setValue(MS.Noise.ReferenceDbfs);
    NoiseReferenceLabel->setBuddy(NoiseReference);
    NoiseMeasureBut = Named(new QPushButton(this), "NoiseMeasureBut");
    DynamicRangeBut = Named(new QPushButton(this), "DynamicRangeBut");
    NoiseSaveBut = Named(new QPushButton(this), "NoiseSaveBut");
    NoiseStopBut = Named(new QPushButton(QStringLiteral("STOP"), this), "NoiseStopBut");
    NoiseStopBut->setEnabled(false);
    NoiseHelpBut = Named(new QPushButton(this), "NoiseHelpBut");
    NoiseCloseBut = Named(new QPushButton(this), "NoiseCloseBut");
    NoiseSaveBut->setEnabled(false);
    NoiseResults = Named(new QTableWidget(0, 0, this), "NoiseResults");
    NoiseResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NoiseResults->setSelectionMode(QAbstractItemView::SingleSelection);
    NoiseResults->setMinimumSize(560, 110);
    NoiseResults->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    NoiseStatus = Named(new QLabel(this), "NoiseStatus");
    NoiseStatus->setWordWrap(true);

    auto *top = new QHBoxLayout;
    top->addWidget(NoiseReferenceLabel);
    top->addWidget(NoiseReference);
    top->addStretch();
    top->addWidget(NoiseMeasureBut);
    top->addWidget(DynamicRangeBut);
    top->addWidget(NoiseStopBut);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(NoiseSaveBut);
    buttons->addWidget(NoiseHelpBut);
    buttons->addWidget(NoiseCloseBut);
    auto *lay = new QVBoxLayout(this);
    lay->addLayout(top);
    lay->addWidget(NoiseResults);
    lay->addWidget(NoiseStatus);
    lay->addLayout(buttons);

    connect(NoiseMeasureBut, &QPushButton::clicked, this, &TNoiseWindow::MeasureNoise);
    connect(DynamicRangeBut, &QPushButton::clicked, this, &TNoiseWindow::MeasureDynamicRange);
    connect(NoiseSaveBut, &QPushButton::clicked, this, &TNoiseWindow::saveClick);
    connect(NoiseStopBut, &QPushButton::clicked, this, &TNoiseWindow::Stop);
    connect(NoiseHelpBut, &QPushButton::clicked, this, [this] { emit helpRequested(kHelpTopic); });
    connect(NoiseCloseBut, &QPushButton::clicked, this, &QDialog::close);
    connect(NoiseReference, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        MS.Noise.ReferenceDbfs = v;
        // The ratios follow the reference without a new run.
        if (noise_) {
            noise_->ReferenceDbfs = v;
            for (measure::ChannelNoise &c : noise_->Channels) {
                c.SnrDb = c.Levels.aes17.dbfs > dsp::kNoSignalDb ? dsp::SignalToNoiseDb(v, c.Levels.aes17.dbfs)
                                                                 : std::nan("");
                c.SnrADb = c.Levels.aWeighted.dbfs > dsp::kNoSignalDb ? dsp::SignalToNoiseDb(v, c.Levels.aWeighted.dbfs)
                                                                      : std::nan("");
            }
            showNoise(*noise_);
        }
    });
    SetLanguage(MS.Language);
}

void TNoiseWindow::SetLanguage(char language)
{
    if (language != 'D' && language != 'E')
        return;
    const bool de = language == 'D';
    auto t = [de](const char *g, const char *e) { return QString::fromUtf8(de ? g : e); };
    setWindowTitle(t("Rauschen und Dynamik", "Noise and dynamic range"));
    NoiseReferenceLabel->setText(t("&Bezugspegel:", "&Reference level:"));
    NoiseReference->setAccessibleName(t("Bezugspegel des Störabstands", "Reference level of the signal-to-noise ratio"));
    NoiseMeasureBut->setText(t("&Rauschen messen", "Measure &noise"));
    NoiseMeasureBut->setAccessibleName(t("Ruhegeräusch messen", "Measure idle noise"));
    DynamicRangeBut->setText(t("&Dynamik messen", "Measure &dynamic range"));
    DynamicRangeBut->setAccessibleName(t("Dynamikumfang nach AES17 messen", "Measure the AES17 dynamic range"));
    NoiseSaveBut->setText(t("&Speichern...", "&Save..."));
    NoiseSaveBut->setAccessibleName(t("Ergebnis speichern", "Save the result"));
    NoiseStopBut->setAccessibleName(t("Messung abbrechen", "Stop the measurement"));
    NoiseHelpBut->setText(t("&Hilfe", "&Help"));
    NoiseHelpBut->setAccessibleName(t("Hilfe", "Help"));
    NoiseCloseBut->setText(t("S&chließen", "&Close"));
    NoiseCloseBut->setAccessibleName(t("Schließen", "Close"));
    NoiseResults->setAccessibleName(t("Ergebnisse je Kanal", "Results per channel"));
    platform::MarkReadout(NoiseStatus, t("Messbedingungen", "Measuring conditions"));
    showTable();
}

// ---- runs ----------------------------------------------------------------------

bool TNoiseWindow::mayRun()
{
    if (running_)
        return false;
    const QString busy = BusyReason ? BusyReason() : QString();
    if (busy.isEmpty())
        return true;
    platform::ShowMessage(this, platform::MessageKind::Warning,
                          T("Jetzt kann nicht gemessen werden: ", "Cannot measure now: ") + busy);
    return false;
}

measure::NoiseRunSetup TNoiseWindow::setup() const
{
    measure::NoiseRunSetup s;
    s.Spectrum.FftSize = kFftSize;
    s.Spectrum.Window = dsp::kWindowRifeVincent3;
    s.Spectrum.Averages = 1;
    // The analyser's channels; none chosen measures both.
    const bool none = !MS.MeasureLeftOn && !MS.MeasureRightOn;
    s.Spectrum.Left = MS.MeasureLeftOn || none;
    s.Spectrum.Right = MS.MeasureRightOn || none;
    s.Averages = kAverages;
    s.SettleMs = kSettleMs;
    s.OnBlock = [this](int block) {
        NoiseStatus->setText(T("Messung läuft: Block %1 von %2", "Measuring: block %1 of %2")
                                 .arg(block + 1)
                                 .arg(kAverages));
    };
    return s;
}

void TNoiseWindow::begin()
{
    running_ = true;
    generator_ = audio::Generator();
    generatorWasPlaying_ = audio::OutputRunning();
    for (QPushButton *b : {NoiseMeasureBut, DynamicRangeBut, NoiseSaveBut})
        b->setEnabled(false);
    NoiseReference->setEnabled(false);
    NoiseStopBut->setEnabled(true);
    NoiseStopBut->setFocus();
    if (RunningChanged)
        RunningChanged(true);
    measure::ClearInterrupt();
}

void TNoiseWindow::end()
{
    measure::ClearInterrupt();
    // The generator as it was: its record, and playing if it played.
    audio::Generator() = generator_;
    if (generatorWasPlaying_ && !shuttingDown_)
        audio::StartOutput(audio::Generator(), -1.0, audio::Generator().Frequency);
    running_ = false;
    NoiseStopBut->setEnabled(false);
    if (RunningChanged && !shuttingDown_)
        RunningChanged(false);
    NoiseMeasureBut->setEnabled(true);
    DynamicRangeBut->setEnabled(true);
    NoiseReference->setEnabled(true);
    NoiseSaveBut->setEnabled(document_.has_value());
}

void TNoiseWindow::failed(const measure::NoiseRunOutcome &r)
{
    NoiseStatus->setText(statusText());
    if (r.Interrupted)
        return; // stopped on purpose: nothing to report
    platform::ShowMessage(this, platform::MessageKind::Error,
                          T("Messung fehlgeschlagen: ", "Measurement failed: ") + QString::fromStdString(r.Error), true,
                          17);
}

void TNoiseWindow::Stop()
{
    if (running_)
        measure::RequestInterrupt();
}

void TNoiseWindow::Shutdown()
{
    shuttingDown_ = true;
    Stop();
}

void TNoiseWindow::MeasureNoise()
{
    if (!mayRun())
        return;
    begin();
    const double reference = NoiseReference->value();
    measure::IdleNoiseResult r = measure::MeasureIdleNoise(setup(), true, kLowHz, reference);
    if (r.Ok) {
        noise_ = r;
        range_.reset();
        measure::MeasurementDocument doc =
            NewDocument(measure::MeasurementKind::Noise, "noise", r.Overloads, r.Warnings);
        doc.Settings.Extra.insert("noise", QJsonObject{{"low_hz", kLowHz}, {"reference_dbfs", reference},
                                                       {"output", "silent"}});
        measure::FillNoiseTable(doc.Results, r);
        doc.Readings = QJsonObject{{"limit_applies_to", "a_weighted_dbfs"}};
        document_ = std::move(doc);
    }
    end();
    if (r.Ok)
        showNoise(r);
    else
        failed(r);
}

void TNoiseWindow::MeasureDynamicRange()
{
    if (!mayRun())
        return;
    int rateIn = 0, rateOut = 0;
    audio::GetRates(rateIn, rateOut);
    dsp::MeasurementBand band;
    band.lowHz = kLowHz;
    band.limit = dsp::BandLimit::Aes17_20k;
    const measure::NoiseRunSetup s = setup();
    if (const std::string problem =
            measure::DynamicRangeToneProblem(dsp::kDynamicRangeToneHz, band, s.Spectrum, rateIn, rateOut);
        !problem.empty()) {
        platform::ShowMessage(this, platform::MessageKind::Warning,
                              T("Dynamik nicht messbar: ", "Dynamic range not measurable: ") +
                                  QString::fromStdString(problem));
        return;
    }
    begin();
    measure::DynamicRangeResult r = measure::MeasureDynamicRangeRun(s, band, dsp::kDynamicRangeToneHz);
    if (r.Ok) {
        range_ = r;
        noise_.reset();
        band_ = band;
        measure::MeasurementDocument doc =
            NewDocument(measure::MeasurementKind::DynamicRange, "dynamic-range", r.Overloads, r.Warnings);
        const QString bandText = QString::fromStdString(dsp::BandText(band, r.Rate, 'E'));
        doc.Settings.Extra.insert("generator", QJsonObject{{"wave", "sine"},
                                                           {"frequency_hz", r.FrequencyHz},
                                                           {"level_db", r.Generator.LevelL},
                                                           {"phase_left_deg", 0},
                                                           {"phase_right_deg", 0},
                                                           {"loop", audio::GetLoop()}});
        doc.Settings.Extra.insert("band", QJsonObject{{"low_hz", band.lowHz},
                                                      {"high_hz", dsp::BandUpperHz(band, r.Rate)},
                                                      {"bandwidth", "20k"},
                                                      {"weighting", "none"},
                                                      {"text", bandText}});
        measure::FillDynamicRangeTable(doc.Results, r);
        doc.Readings = QJsonObject{{"band", bandText}};
        document_ = std::move(doc);
    }
    end();
    if (r.Ok)
        showDynamicRange(r);
    else
        failed(r);
}

// ---- showing -------------------------------------------------------------------

void TNoiseWindow::showNoise(const measure::IdleNoiseResult &r)
{
    if (document_ && document_->Kind == measure::MeasurementKind::Noise) {
        // The reference may have moved since the run: the document follows.
        measure::ResultTable table;
        measure::FillNoiseTable(table, r);
        document_->Results = table;
        if (QJsonObject n = document_->Settings.Extra.value("noise").toObject(); !n.isEmpty()) {
            n.insert("reference_dbfs", r.ReferenceDbfs);
            document_->Settings.Extra.insert("noise", n);
        }
    }
    showTable();
}

void TNoiseWindow::showDynamicRange(const measure::DynamicRangeResult &) { showTable(); }

QString TNoiseWindow::statusText() const
{
    QString text;
    const measure::NoiseRunOutcome *r = noise_ ? static_cast<const measure::NoiseRunOutcome *>(&*noise_)
                                        : range_ ? static_cast<const measure::NoiseRunOutcome *>(&*range_)
                                                 : nullptr;
    if (!r)
        return T("Noch keine Messung.", "Nothing measured yet.");
    text = QStringLiteral("%1 Hz, FFT %2, Rife-Vincent 3, %3 ").arg(r->Rate).arg(kFftSize).arg(kAverages) +
           T("Mittelwerte (Leistung)", "averages (power)");
    if (noise_)
        text += T(", Ausgang still, ab 20 Hz", ", output silent, from 20 Hz");
    else
        text += QStringLiteral(", 997 Hz −60 dBFS, ") +
                QString::fromStdString(dsp::BandText(band_, r->Rate, MS.Language == 'E' ? 'E' : 'D'));
    if (r->Overloads > 0)
        text += T(". Übersteuert: %1 Abtastwerte", ". Overloaded: %1 samples").arg(r->Overloads);
    for (const audio::StreamWarning &w : r->Warnings)
        text += QStringLiteral(". ") + QString::fromStdString(audio::StreamWarningText(w, MS.Language));
    return text;
}

void TNoiseWindow::showTable()
{
    QStringList columns;
    std::vector<std::vector<double>> rows;
    QStringList names;
    if (noise_) {
        columns << T("ungewichtet dBFS", "unweighted dBFS") << T("A-bewertet dBFS", "A-weighted dBFS")
                << T("AES17 20 kHz dBFS", "AES17 20 kHz dBFS");
        if (noise_->Has40k)
            columns << T("AES17 40 kHz dBFS", "AES17 40 kHz dBFS");
        columns << T("Störabstand dB", "SNR dB") << T("Störabstand A dB", "SNR A dB");
        for (const measure::ChannelNoise &c : noise_->Channels) {
            names << (c.Right ? T("rechts K2", "right L2") : T("links K1", "left L1"));
            std::vector<double> row{measure::NoiseLevelOrNothing(c.Levels.unweighted.dbfs),
                                    measure::NoiseLevelOrNothing(c.Levels.aWeighted.dbfs),
                                    measure::NoiseLevelOrNothing(c.Levels.aes17.dbfs)};
            if (noise_->Has40k)
                row.push_back(measure::NoiseLevelOrNothing(c.Aes17_40k.dbfs));
            row.push_back(c.SnrDb);
            row.push_back(c.SnrADb);
            rows.push_back(row);
        }
    } else if (range_) {
        columns << T("Dynamik dB", "Dynamic range dB") << T("THD+N dB", "THD+N dB") << T("Ton dBFS", "Tone dBFS");
        for (const measure::ChannelDynamicRange &c : range_->Channels) {
            names << (c.Right ? T("rechts K2", "right L2") : T("links K1", "left L1"));
            const bool ok = c.Reading.status == dsp::DistortionStatus::Ok;
            rows.push_back({ok ? c.Reading.dynamicRangeDb : std::nan(""),
                            ok ? measure::NoiseLevelOrNothing(c.Reading.thdnDb) : std::nan(""),
                            ok ? measure::NoiseLevelOrNothing(c.Reading.toneDbfs) : std::nan("")});
        }
    }
    NoiseResults->clear();
    NoiseResults->setColumnCount(static_cast<int>(columns.size()));
    NoiseResults->setRowCount(static_cast<int>(rows.size()));
    NoiseResults->setHorizontalHeaderLabels(columns);
    NoiseResults->setVerticalHeaderLabels(names);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < static_cast<int>(rows[r].size()); ++c) {
            auto *item = new QTableWidgetItem(Cell(rows[r][c]));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            NoiseResults->setItem(r, c, item);
        }
    NoiseStatus->setText(statusText());
}

// ---- saving --------------------------------------------------------------------

int TNoiseWindow::SaveResult(const QString &fileName)
{
    if (!document_)
        return -1;
    measure::FileError error;
    if (!measure::WriteMeasurementFile(QFile::encodeName(fileName).toStdString(), *document_, error)) {
        platform::ShowMessage(this, platform::MessageKind::Error,
                              QString::fromStdString(measure::FileErrorText(error, MS.Language)));
        return 1;
    }
    return 0;
}

void TNoiseWindow::saveClick()
{
    if (!document_)
        return;
    platform::FileDialogRequest request;
    request.save = true;
    request.title = T("Ergebnis speichern", "Save result");
    request.filter = T("Messergebnis (*.sonalyx.json)", "Measurement result (*.sonalyx.json)");
    QString name = platform::AskFileName(this, request);
    if (name.isEmpty())
        return;
    if (!name.endsWith(QLatin1String(".json")))
        name += QLatin1String(measure::kMeasurementFileSuffix);
    SaveResult(name);
}

// ---- window --------------------------------------------------------------------

void TNoiseWindow::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    // The stored place, when it lies on a screen.
    const QPoint stored(MS.Noise.Left, MS.Noise.Top);
    if (MS.Noise.Left >= 0 && MS.Noise.Top >= 0 && QGuiApplication::screenAt(stored + QPoint(20, 20)))
        move(stored);
}

void TNoiseWindow::hideEvent(QHideEvent *e)
{
    Stop();
    QDialog::hideEvent(e);
}

void TNoiseWindow::moveEvent(QMoveEvent *e)
{
    QDialog::moveEvent(e);
    if (isVisible()) {
        MS.Noise.Left = x();
        MS.Noise.Top = y();
    }
}

} // namespace app
