#include "help/helptopics.h"

#include "platform/runtime/utilities.h"

#include <QDir>
#include <QFileInfo>

namespace help {

namespace {

// Contexts 11, 14, 16 and 17 are the numbers the Help buttons and device
// error boxes have always carried; the other dialogs open their topic by
// window.
const std::vector<Topic> kTopics = {
    {"Contents", 0, "TAboutBox", "index.html"},
    {"MainWindow", 0, "TMainForm", "mainwindow.html"},
    {"Analyser", 0, "TabSheet1", "analyser.html"},
    {"Analysis", 0, "TAnaly", "analysis.html"},
    {"Sweep", 0, "TabSheet2", "sweep.html"},
    {"SweepSetup", 0, "Twobbeldlg", "sweepsetup.html"},
    {"LogSweep", 0, "", "logsweep.html"},
    {"Distortion", 0, "", "distortion.html"},
    {"Noise", 0, "TNoiseWindow", "noise.html"},
    {"Generator", 0, "TWavegen", "generator.html"},
    {"Oscilloscope", 0, "TabSheet3 TOszidia", "oscilloscope.html"},
    {"Diagram", 0, "TDiagramm", "diagram.html"},
    {"Overlays", 0, "TOverlayList", "overlays.html"},
    {"DiagramOptions", 16, "Tdiadlg", "diagramoptions.html"},
    {"Scale", 0, "TSkalDia", "scale.html"},
    {"Correction", 0, "", "correction.html"},
    {"CorrectionEditor", 0, "TKorEdit", "correctioneditor.html"},
    {"Calibration", 0, "TEichDlg", "calibration.html"},
    {"DCMOffset", 0, "TDCOffset", "dcoffset.html"},
    {"Devices", 0, "TSCdia", "devices.html"},
    {"IOParameters", 14, "TIOdialog IOdialog", "ioparameters.html"},
    {"Mixer", 0, "", "mixer.html"},
    {"Features", 11, "TFeatDlg", "features.html"},
    {"DeviceErrors", 17, "", "deviceerrors.html"},
    {"VirtualCard", 0, "", "virtualcard.html"},
    {"Files", 0, "", "files.html"},
    {"Help", 0, "THelpWindow", "help.html"},
};

QString &overrideDir()
{
    static QString dir;
    return dir;
}

bool holdsPages(const QString &dir) { return QFileInfo::exists(dir + "/en/index.html"); }

} // namespace

const std::vector<Topic> &Topics() { return kTopics; }

const Topic &ContentsTopic() { return kTopics.front(); }

const Topic *TopicByName(const QString &name)
{
    for (const Topic &t : kTopics)
        if (name.compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

const Topic *TopicByContext(int context)
{
    if (context == 0)
        return nullptr;
    for (const Topic &t : kTopics)
        if (t.context == context)
            return &t;
    return nullptr;
}

const Topic *TopicByWindowName(const QString &name)
{
    if (name.isEmpty())
        return nullptr;
    for (const Topic &t : kTopics)
        if (QString::fromLatin1(t.windows).split(' ', Qt::SkipEmptyParts).contains(name))
            return &t;
    return nullptr;
}

QString LanguageFolder(char language) { return language == 'E' ? QStringLiteral("en") : QStringLiteral("de"); }

QString HelpDirectory()
{
    if (!overrideDir().isEmpty())
        return overrideDir();
    const QString programDir = QString::fromStdString(platform::ProgramDirectory());
    if (holdsPages(programDir + "help"))
        return QDir::cleanPath(programDir + "help");
    const QString data = QString::fromStdString(platform::DataDirectory());
    if (!data.isEmpty() && holdsPages(data + "/help"))
        return QDir::cleanPath(data + "/help");
    return {};
}

void SetHelpDirectory(const QString &dir) { overrideDir() = dir; }

QString PagePath(const Topic &topic, char language)
{
    const QString page = QString::fromLatin1(topic.page).section('#', 0, 0);
    return HelpDirectory() + "/" + LanguageFolder(language) + "/" + page;
}

QString PageAnchor(const Topic &topic) { return QString::fromLatin1(topic.page).section('#', 1); }

} // namespace help
