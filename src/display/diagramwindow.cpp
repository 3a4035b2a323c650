// The diagram window (see diagramwindow.h).
#include "display/diagramwindow.h"

#include "display/diagramoptionseditor.h"
#include "display/diagramsettings.h"
#include "display/overlaylistdialog.h"
#include "widgets/spinbutton.h"
#include "platform/runtime/messages.h"
#include "platform/runtime/utilities.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

using namespace display;

namespace {

constexpr int kInitialWidth = 580;
constexpr int kInitialHeight = 370;
constexpr int kMinimumWidth = 170;
constexpr int kMinimumHeight = 120;
constexpr int kScrollBarWidth = 26;

QFont FieldFont(bool bold)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(12);
    f.setBold(bold);
    return f;
}

} // namespace

TDiagramm::TDiagramm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinMaxButtonsHint)
{
    setWindowTitle(QStringLiteral("Sonalyx V 1.4 "));
    // Every pixel comes from the bitmap: nothing is erased before painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setStyleHint(QFont::SansSerif);
    windowFont.setPointSize(8);
    setFont(windowFont);
    ReadDiagramSettings(platform::SettingsFileName(), options_);

    curves_.Allocate();
    pixelBuffer_ = std::make_unique<PixelPoint[]>(kMaxPoints);
    pointBuffer_ = std::make_unique<QPoint[]>(kMaxPoints);
    columnBuffer_ = std::make_unique<dsp::ColumnRange[]>(kMaxPoints / 4);

    SpinButtonYmax = new SpinButton(this);
    SpinButtonYmax->setObjectName(QStringLiteral("SpinButtonYmax"));
    SpinButtonYmin = new SpinButton(this);
    SpinButtonYmin->setObjectName(QStringLiteral("SpinButtonYmin"));
    Edicomment = new QLineEdit(this);
    Edicomment->setObjectName(QStringLiteral("Edicomment"));
    Edicomment->setFrame(false);
    Edicomment->setFont(FieldFont(true));
    Edicomment->setMaxLength(kTitleLength);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setFrame(false);
    Edit2->setFont(FieldFont(false));
    ScrollBarLF = new QScrollBar(Qt::Horizontal, this);
    ScrollBarLF->setObjectName(QStringLiteral("ScrollBarLF"));
    ScrollBarHF = new QScrollBar(Qt::Horizontal, this);
    ScrollBarHF->setObjectName(QStringLiteral("ScrollBarHF"));
    for (QScrollBar *bar : {ScrollBarLF, ScrollBarHF}) {
        bar->setRange(0, 2); // the bars have no position meaning, only their arrows act
        bar->setValue(1);
        bar->setFocusPolicy(Qt::TabFocus);
    }
    SpinButtonYmax->setAccessibleName(QStringLiteral("Top of the level axis"));
    SpinButtonYmin->setAccessibleName(QStringLiteral("Bottom of the level axis"));
    ScrollBarLF->setAccessibleName(QStringLiteral("Lower frequency limit"));
    ScrollBarHF->setAccessibleName(QStringLiteral("Upper frequency limit"));
    Edicomment->setAccessibleName(QStringLiteral("Diagram title"));
    Edit2->setAccessibleName(QStringLiteral("Status line"));
    connect(SpinButtonYmax, &SpinButton::upClick, this, &TDiagramm::SpinButtonYmaxUpClick);
    connect(SpinButtonYmax, &SpinButton::downClick, this, &TDiagramm::SpinButtonYmaxDownClick);
    connect(SpinButtonYmin, &SpinButton::upClick, this, &TDiagramm::SpinButtonYminUpClick);
    connect(SpinButtonYmin, &SpinButton::downClick, this, &TDiagramm::SpinButtonYminDownClick);
    connect(ScrollBarHF, &QScrollBar::actionTriggered, this, &TDiagramm::ScrollBarHFScroll);
    connect(ScrollBarLF, &QScrollBar::actionTriggered, this, &TDiagramm::ScrollBarLFScroll);
    // The readouts follow the mouse without a button held once anchored.
    setMouseTracking(true);
    ApplyFieldColours();
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kInitialWidth, kInitialHeight);

    // Settings are written when the window goes; a window still alive when
    // the event loop ends writes them then, while the program directory is
    // still known.
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { SaveSettings(); });

    std::int32_t xmin = axes_.XMin, xmax = axes_.XMax;
    float ymin = axes_.YMin, ymax = axes_.YMax;
    SetupDiagram(QString(), 50, xmin, xmax, ymin, ymax);
}

TDiagramm::~TDiagramm()
{
    // Without the application the settings file cannot be located.
    if (QCoreApplication::instance())
        SaveSettings();
    curves_.Release();
}

bool TDiagramm::SaveSettings() const { return WriteDiagramSettings(platform::SettingsFileName(), options_); }

// ---------------------------------------------------------------- run set-up

bool TDiagramm::SetupDiagram(const QString &title, int count, std::int32_t &xmin, std::int32_t &xmax,
                             float &ymin, float &ymax)
{
    Edicomment->setText(title.left(kTitleLength));
    if (axes_.YMax == kUnsetLevel && axes_.YMin == kUnsetLevel) {
        axes_.YMax = ymax;
        axes_.YMin = ymin;
        if (axes_.LeftAxisShown && !axes_.RightAxisShown) {
            axes_.Y2Max = ymax;
            axes_.Y2Min = ymin;
        }
    }
    // A range the user changed on the window survives into the caller's settings.
    ymin = axes_.YMin;
    ymax = axes_.YMax;
    if (xmin != axes_.XMin || xmax != axes_.XMax)
        ClearCurves();
    if (axes_.XMin == kUnsetFrequency && axes_.XMax == kUnsetFrequency) {
        axes_.XMin = xmin;
        axes_.XMax = xmax;
    }
    // The arrays hold kMaxPoints entries and drawing reads one past the count.
    if (count < 0 || count > kMaxPoints - 2)
        return true;
    axes_.PointCount = count + 1;
    return !LayoutOwnBitmap(true);
}

int TDiagramm::StorePoint(const float *values, int index, float frequency)
{
    return curves_.StorePoint(values, index, frequency, options_);
}

// ---------------------------------------------------------------- axes and curves

void TDiagramm::SetCurvesVisible(bool show1, bool show2)
{
    if (bool(options_.ShowK1) == show1 && bool(options_.ShowK2) == show2)
        return;
    options_.ShowK1 = show1;
    options_.ShowK2 = show2;
    LayoutOwnBitmap(false);
}

void TDiagramm::SetAxesVisible(bool left, bool right)
{
    if (axes_.LeftAxisShown == left && axes_.RightAxisShown == right)
        return;
    axes_.LeftAxisShown = left;
    axes_.RightAxisShown = right;
    LayoutOwnBitmap(true);
}

void TDiagramm::SetXRange(std::int32_t xmin, std::int32_t xmax)
{
    axes_.XMin = xmin;
    axes_.XMax = xmax;
    LayoutOwnBitmap(true);
}

void TDiagramm::GetXRange(std::int32_t &xmin, std::int32_t &xmax) const
{
    xmin = axes_.XMin;
    xmax = axes_.XMax;
}

void TDiagramm::SetYRange(float ymax, float ymin)
{
    axes_.YMax = ymax;
    axes_.YMin = ymin;
    LayoutOwnBitmap(true);
}

void TDiagramm::GetYRange(float &ymin, float &ymax) const
{
    ymin = axes_.YMin;
    ymax = axes_.YMax;
}

void TDiagramm::SetY2Range(float y2max, float y2min)
{
    axes_.Y2Max = y2max;
    axes_.Y2Min = y2min;
    LayoutOwnBitmap(true);
}

void TDiagramm::SetCaption(QString &caption, const QString &text)
{
    const bool hadText = !caption.isEmpty();
    caption = text.left(kCaptionLength);
    // A caption takes room in its margin only when it is not empty.
    if (hadText != !caption.isEmpty())
        LayoutOwnBitmap(true);
}

void TDiagramm::SetYCaption(const QString &text) { SetCaption(yCaption_, text); }
void TDiagramm::SetY2Caption(const QString &text) { SetCaption(y2Caption_, text); }
void TDiagramm::SetXCaption(const QString &text) { SetCaption(xCaption_, text); }

QString TDiagramm::GetTitle() const { return Edicomment->text().left(kTitleLength); }
void TDiagramm::SetStatusText(const QString &text) { Edit2->setText(text); }
QString TDiagramm::StatusText() const { return Edit2->text(); }

void TDiagramm::SetLinearX(bool on)
{
    if (linearX_ == on)
        return;
    linearX_ = on;
    Relayout();
}

void TDiagramm::SetExtraCurves(std::vector<ExtraCurve> curves)
{
    extra_ = std::move(curves);
    update();
}

void TDiagramm::ClearCurves()
{
    curves_.Clear();
    extra_.clear();
    update();
}

void TDiagramm::ResetPeak() { curves_.ResetPeak(); }

void TDiagramm::ResetDiagram()
{
    axes_.YMax = axes_.YMin = axes_.Y2Max = axes_.Y2Min = kUnsetLevel;
    axes_.XMax = axes_.XMin = kUnsetFrequency;
    ClearCurves();
}

// ---------------------------------------------------------------- layout and drawing

void TDiagramm::RefreshFonts(int fontSize)
{
    if (fontSize == fontSize_)
        return;
    fontSize_ = fontSize;
    font_ = MakeDiagramFont(fontSize);
    nameFont_ = MakeProgramNameFont(fontSize);
}

DiagramTextMetrics TDiagramm::MeasureText() const
{
    const QFontMetrics fm(font_);
    DiagramTextMetrics m;
    m.DigitHeight = fm.height();
    m.DigitWidth = fm.horizontalAdvance(QLatin1Char('8'));
    m.XCaptionHeight = xCaption_.isEmpty() ? 0 : fm.height();
    m.YCaptionHeight = yCaption_.isEmpty() ? 0 : fm.height();
    m.Y2CaptionHeight = y2Caption_.isEmpty() ? 0 : fm.height();
    m.FrequencyLabelWidth = fm.horizontalAdvance(QStringLiteral("20.00k"));
    return m;
}

bool TDiagramm::LayoutDiagram(QImage &bitmap, int width, int height, bool repositionControls, int fontSize)
{
    width = std::max(width, 1);
    height = std::max(height, 1);
    fontSize = std::max(fontSize, 1);
    if (bitmap.width() != width || bitmap.height() != height)
        bitmap = QImage(width, height, QImage::Format_RGB32);
    RefreshFonts(fontSize);
    // The axes take the scale kind from the options here only: the options
    // change through ApplyOptions, which lays out again.
    axes_.LogX = options_.LogX && !linearX_;
    const DiagramTextMetrics metrics = MeasureText();
    const int decimalsBefore = layout_.YDecimals;
    bool ok = ComputeDiagramLayout(axes_, metrics, width, height, fontSize, layout_);
    // The left margin is sized by the label decimals; when the new label step
    // needs another number of decimals, lay out once more so the labels fit.
    if (ok && layout_.YDecimals != decimalsBefore)
        ok = ComputeDiagramLayout(axes_, metrics, width, height, fontSize, layout_);
    layoutBitmap_ = &bitmap;
    if (repositionControls && &bitmap == &bitmap_)
        RepositionControls();
    options_.OptXMin = axes_.XMin;
    options_.OptXMax = axes_.XMax;
    options_.OptYMin = axes_.YMin;
    options_.OptYMax = axes_.YMax;
    if (&bitmap == &bitmap_)
        SyncEditor();
    return ok;
}

void TDiagramm::SyncEditor()
{
    const DiagramOptions &o = options_, &seen = editorRecord_;
    if (!editor_ || (o.OptXMin == seen.OptXMin && o.OptXMax == seen.OptXMax && o.OptYMin == seen.OptYMin &&
                     o.OptYMax == seen.OptYMax && o.ShowK1 == seen.ShowK1 && o.ShowK2 == seen.ShowK2))
        return;
    editorRecord_ = options_;
    editor_->LoadOptions(options_);
}

bool TDiagramm::LayoutOwnBitmap(bool repositionControls)
{
    return LayoutDiagram(bitmap_, width(), height(), repositionControls, kScreenFontSize);
}

void TDiagramm::Relayout()
{
    if (LayoutOwnBitmap(true))
        update();
}

void TDiagramm::RepositionControls()
{
    const int w = width(), h = height();
    const int ch = layout_.CharHeight;
    const PixelRect &plot = layout_.Plot;
    const int spinWidth = std::max(4, 2 * plot.Left / 3);
    SpinButtonYmax->setGeometry(1, 1, spinWidth, ch);
    SpinButtonYmin->setGeometry(1, h - ch, spinWidth, ch);
    const int lfLeft = 1 + spinWidth + 2;
    ScrollBarLF->setGeometry(lfLeft, h - ch, kScrollBarWidth, ch);
    ScrollBarHF->setGeometry(w - kScrollBarWidth, h - ch, kScrollBarWidth, ch);

    // The title field ends where the program name begins.
    const int nameWidth = QFontMetrics(nameFont_).horizontalAdvance(QString::fromLatin1(kProgramName));
    const int titleHeight = QFontMetrics(Edicomment->font()).height() + 2;
    Edicomment->setGeometry(plot.Left, std::max(0, (plot.Top - titleHeight) / 2 - 2),
                            std::max(1, plot.Right - nameWidth - plot.Left), titleHeight);
    const int statusLeft = lfLeft + kScrollBarWidth + 4;
    const int statusRight = w - kScrollBarWidth - 3;
    Edit2->setGeometry(statusLeft, h - (ch + 4), std::max(1, statusRight - statusLeft), ch + 4);
    ApplyFieldColours();
}

void TDiagramm::ApplyFieldColours()
{
    const QColor margin = ColourFromBgr(options_.ColMargin);
    const QColor text = ColourFromBgr(options_.ColText);
    for (QLineEdit *field : {Edicomment, Edit2}) {
        QPalette pal = field->palette();
        pal.setColor(QPalette::Base, margin);
        pal.setColor(QPalette::Window, margin);
        pal.setColor(QPalette::Text, text);
        field->setPalette(pal);
    }
    QPalette pal = palette();
    pal.setColor(QPalette::Window, margin);
    setPalette(pal);
}

void TDiagramm::DrawDiagram(QImage &bitmap, bool forOutput)
{
    // A printout lays the diagram out on its own bitmap; come back to ours.
    if (&bitmap == &bitmap_ && (layoutBitmap_ != &bitmap_ || layout_.FontSize != kScreenFontSize ||
                                bitmap_.width() != width() || bitmap_.height() != height()))
        LayoutOwnBitmap(false);
    if (bitmap.isNull())
        return;
    RefreshFonts(layout_.FontSize);
    const QString title = Edicomment->text();
    const QString status = Edit2->text();
    BuildOverlayScene();
    const DiagramScene scene{axes_,      layout_, options_, curves_, cursor_,   xCaption_, yCaption_,
                             y2Caption_, title,   status,   font_,   nameFont_, &extra_,   &overlayScene_};
    QPainter painter(&bitmap);
    DrawDiagramScene(painter, scene, forOutput,
                     CurveScratch{pixelBuffer_.get(), pointBuffer_.get(), columnBuffer_.get(), kMaxPoints / 4});
}

// ---------------------------------------------------------------- export, language, options

int TDiagramm::SaveCurvesAsText(const QString &fileName, const QString &separator) const
{
    CurveExportRange range;
    range.PointCount = axes_.PointCount;
    range.XMin = axes_.XMin;
    range.XMax = axes_.XMax;
    range.Curve1 = options_.ShowK1;
    range.Curve2 = options_.ShowK2;
    range.Curve3 = options_.ThirdCurveShown();
    if (overlays_.Reference() >= 0) {
        // Reference mode shows the differences only; the export writes them.
        std::vector<ExtraCurve> differences;
        ComputeLiveDifferences(differences);
        range.Curve1 = range.Curve2 = range.Curve3 = false;
        return curves_.SaveAsText(QFile::encodeName(fileName).toStdString(), separator.toStdString(), range,
                                  differences);
    }
    return curves_.SaveAsText(QFile::encodeName(fileName).toStdString(), separator.toStdString(), range, extra_);
}

int TDiagramm::SaveCurvesAsText(const QString &fileName) const
{
    return SaveCurvesAsText(fileName, QString::fromStdString(options_.Separator));
}

void TDiagramm::SetLanguage(char lang)
{
    if (lang == 'D' || lang == 'E')
        language_ = lang;
    if (overlayList_)
        overlayList_->SetLanguage(language_);
    if (lang == 'D') {
        ratioWord_ = QStringLiteral("fach");
        slopeUnit_ = QStringLiteral("dB/Okt");
    } else if (lang == 'E') {
        ratioWord_ = QStringLiteral("times");
        slopeUnit_ = QStringLiteral("dB/Oct");
    }
}

void TDiagramm::ApplyOptions(const DiagramOptions &options)
{
    const float step = options_.YStep;
    options_ = options;
    // The editor's own record: taking it over is no reason to load it back.
    editorRecord_ = options;
    // A level step must move the limits: 0 would freeze, below 0 invert them.
    if (!(options_.YStep > 0.0f) || !std::isfinite(options_.YStep))
        options_.YStep = step;
    ApplyFieldColours();
    axes_.XMin = options_.OptXMin;
    axes_.XMax = options_.OptXMax;
    axes_.YMin = options_.OptYMin;
    axes_.YMax = options_.OptYMax;
    if (!axes_.RightAxisShown) {
        axes_.Y2Min = options_.OptYMin;
        axes_.Y2Max = options_.OptYMax;
    }
    if (options_.ResetPeakRequest) {
        ResetPeak();
        options_.ResetPeakRequest = 0;
    }
    emit optionsApplied();
    LayoutOwnBitmap(false);
    update();
}

void TDiagramm::ShowOptions()
{
    ClearCursors(true);
    if (editor_) {
        editorRecord_ = options_;
        editor_->LoadOptions(options_);
        editor_->ShowEditor();
    }
    update();
}

void TDiagramm::ClearCursors(bool resetLatch)
{
    cursor_.x1 = cursor_.x2 = cursor_.y1 = cursor_.y2 = -1;
    cursor_.ClickText.clear();
    cursor_.LevelText.clear();
    cursor_.FreqText.clear();
    cursor_.CursorMode = 0;
    if (resetLatch)
        cursor_.CursorLatched = false;
}

// ---------------------------------------------------------------- window events

bool TDiagramm::event(QEvent *e)
{
    if (const platform::WindowMessageEvent *m = platform::AsWindowMessage(e)) {
        if (m->msg == platform::WM_DIAGRAM_OPTIONS) {
            if (editor_) {
                DiagramOptions o = options_;
                editor_->GetOptions(o);
                ApplyOptions(o);
            }
            return true;
        }
    }
    return QWidget::event(e);
}

void TDiagramm::paintEvent(QPaintEvent *)
{
    DrawDiagram(bitmap_, false);
    QPainter painter(this);
    painter.drawImage(0, 0, bitmap_);
}

void TDiagramm::resizeEvent(QResizeEvent *)
{
    if (LayoutOwnBitmap(true))
        update();
}

void TDiagramm::closeEvent(QCloseEvent *e) { e->accept(); }
