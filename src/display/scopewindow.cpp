// The oscilloscope window (see scopewindow.h).
#include "display/scopewindow.h"

#include "display/diagramrenderer.h"
#include "platform/inifile.h"
#include "widgets/readout.h"
#include "platform/runtime/utilities.h"

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

using namespace display;

namespace {

constexpr int kInitialWidth = 260;
constexpr int kInitialHeight = 252;
constexpr int kInitialCount = 512;
constexpr const char *kSection = "OSZIPRIV";
const QString kTimeIdle = QStringLiteral("Time / Frequ.");
const QString kVoltIdle = QStringLiteral("Volt");

// Screen colour from the settings; 1 (never set) or anything that is not a
// colour gives the default.
std::uint32_t ReadScreenColour()
{
    platform::IniFile ini(platform::SettingsFileName());
    ini.load();
    const std::optional<long long> v = platform::ReadInteger(ini, kSection, "COLDIA", "1");
    const bool ok = v && *v != 1 && *v >= 0 && *v <= 0xFFFFFF;
    return ok ? static_cast<std::uint32_t>(*v) : TOszidia::kScreenColour;
}

} // namespace

TOszidia::TOszidia(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("Oszidia"));
    setWindowTitle(QStringLiteral("Sonalyx V1.4 Oscilloscope"));
    // Every pixel comes from the bitmap: nothing is erased before painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    setFont(f);

    IllumBut = new QPushButton(QStringLiteral("Illum."), this);
    IllumBut->setObjectName(QStringLiteral("IllumBut"));
    readoutFrame_ = new QFrame(this);
    auto *frame = static_cast<QFrame *>(readoutFrame_);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    auto *row = new QHBoxLayout(frame);
    row->setContentsMargins(2, 0, 2, 0);
    Label1 = new QLabel(QStringLiteral("      Time / Frequ.      "), frame);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("      Volt      "), frame);
    Label2->setObjectName(QStringLiteral("Label2"));
    platform::MarkReadout(Label1, QStringLiteral("Time / Frequ."));
    platform::MarkReadout(Label2, QStringLiteral("Volt"));
    for (QLabel *label : {Label1, Label2}) {
        label->setAlignment(Qt::AlignCenter);
        row->addWidget(label, 1);
    }
    QPalette maroon = Label1->palette();
    maroon.setColor(QPalette::WindowText, ColourFromBgr(0x000080));
    Label1->setPalette(maroon);
    QPalette black = Label2->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label2->setPalette(black);
    QPalette strip = palette();
    strip.setColor(QPalette::Window, ColourFromBgr(kStripColour));
    setPalette(strip);
    connect(IllumBut, &QPushButton::clicked, this, &TOszidia::IllumButClick);

    bitmapFont_ = QFont(QStringLiteral("MS Sans Serif"));
    bitmapFont_.setStyleHint(QFont::SansSerif);
    bitmapFont_.setPointSize(8);
    screenColour_ = ReadScreenColour();
    resize(kInitialWidth, kInitialHeight);
    SetupScope(QString(), kInitialCount, 10.0, 0.0, 8.0);
}

TOszidia::~TOszidia()
{
    // Without the application the settings file cannot be located.
    if (QCoreApplication::instance())
        SaveSettings();
}

bool TOszidia::SaveSettings() const
{
    platform::IniFile ini(platform::SettingsFileName());
    if (!ini.load()) // never replace a file we could not read
        return false;
    ini.set(kSection, "COLDIA", std::to_string(screenColour_));
    return ini.save();
}

void TOszidia::SetupScope(const QString &title, int count, double xmax, double ymin, double ymax)
{
    title_ = title;
    traces_.Setup(count);
    pixels_.assign(std::size_t(traces_.Count()) + 1, PixelPoint{});
    points_.assign(pixels_.size(), QPoint());
    if (ymin_ == kScopeUnsetRange && ymax_ == kScopeUnsetRange) {
        ymin_ = ymin;
        ymax_ = ymax;
    }
    xmax_ = xmax;
    LayoutScope();
}

void TOszidia::StoreScopePoint(int index, bool channelFlag, float position2, float position1, float voltsPerDiv2,
                               float voltsPerDiv1, float x, float y2, float y1)
{
    traces_.StorePoint(index, ScopeReadout{channelFlag, position1, position2, voltsPerDiv1, voltsPerDiv2}, x, y2,
                       y1);
}

int TOszidia::SaveScopeAsText(const QString &fileName, const QString &separator) const
{
    return traces_.SaveAsText(QFile::encodeName(fileName).toStdString(), separator.toStdString());
}

void TOszidia::LayoutScope()
{
    const int w = std::max(width(), 1), h = std::max(height(), 1);
    if (bitmap_.width() != w || bitmap_.height() != h)
        bitmap_ = QImage(w, h, QImage::Format_RGB32);
    layout_ = display::LayoutScope(w, h, xmax_, ymin_, ymax_);
    IllumBut->setGeometry(2, 3, 48, kScopeStripHeight - 6);
    readoutFrame_->setGeometry(54, 2, std::max(10, w - 56), kScopeStripHeight - 4);
}

const QImage &TOszidia::Bitmap()
{
    DrawScope();
    return bitmap_;
}

void TOszidia::DrawScope()
{
    const PixelRect &p = layout_.Plot;
    if (p.Bottom < p.Top || bitmap_.isNull())
        return;
    QPainter painter(&bitmap_);
    painter.fillRect(QRect(p.Left, p.Top, p.Width() + 1, p.Height() + 1), ColourFromBgr(screenColour_));
    painter.fillRect(QRect(0, 0, bitmap_.width(), kScopeStripHeight), ColourFromBgr(kStripColour));
    const int count = traces_.Count();
    if (!traces_.HasArrays() || count <= 1 || ymax_ == ymin_)
        return;
    painter.setFont(bitmapFont_);
    painter.setPen(Qt::black);
    painter.drawText(0, 10 + painter.fontMetrics().ascent(), title_);

    painter.setPen(ColourFromBgr(kGridColour));
    for (int i = 0; i <= 10; ++i) {
        const int x = p.Left + int(std::lround(i * p.Width() / 10.0));
        painter.drawLine(x, p.Top, x, p.Bottom);
    }
    for (int i = 0; i <= 8; ++i) {
        const int y = p.Top + int(std::lround(i * layout_.YPix));
        painter.drawLine(p.Left, y, p.Right, y);
    }

    painter.setPen(ColourFromBgr(kCursorColour));
    if (x1_ >= 1 && x2_ >= 1) {
        painter.drawLine(x1_, p.Top, x1_, p.Bottom);
        painter.drawLine(x2_, p.Top, x2_, p.Bottom);
    }
    if (y1_ >= 1 && y2_ >= 1) {
        painter.drawLine(p.Left, y1_, p.Right, y1_);
        painter.drawLine(p.Left, y2_, p.Right, y2_);
    }

    // X-Y operation has a negative horizontal range and keeps points on the
    // plot; a time axis ends the trace at the right edge.
    const bool clampX = xmax_ < 0.0;
    auto trace = [&](const float *y, std::uint32_t colour) {
        const int n = BuildScopeTrace(layout_, traces_.X(), y, count, ymin_, clampX, pixels_.data());
        for (int i = 0; i < n; ++i)
            points_[std::size_t(i)] = QPoint(pixels_[std::size_t(i)].X, pixels_[std::size_t(i)].Y);
        painter.setPen(ColourFromBgr(colour));
        if (n == 1) // all points on one pixel
            painter.drawPoint(points_[0]);
        else
            painter.drawPolyline(points_.data(), n);
    };
    trace(traces_.Y1(), kTrace1Colour);
    trace(traces_.Y2(), kTrace2Colour);
}

void TOszidia::IllumButClick()
{
    screenColour_ = screenColour_ != kIllumColour ? kIllumColour : kScreenColour;
    update();
}

bool TOszidia::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate) {
        LayoutScope();
        update();
    }
    return QWidget::event(e);
}

void TOszidia::paintEvent(QPaintEvent *)
{
    DrawScope();
    QPainter painter(this);
    painter.drawImage(0, 0, bitmap_);
}

void TOszidia::resizeEvent(QResizeEvent *)
{
    LayoutScope();
    update();
}

void TOszidia::mousePressEvent(QMouseEvent *e)
{
    const QPoint at = e->position().toPoint();
    if (e->button() == Qt::LeftButton)
        x1_ = at.x();
    else if (e->button() == Qt::RightButton)
        y1_ = at.y();
}

void TOszidia::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint at = e->position().toPoint();
    bool changed = false;
    if ((e->buttons() & Qt::LeftButton) && x1_ >= 1) {
        x2_ = at.x();
        changed = true;
        const std::string text = TimeReadout(x1_, x2_, layout_.XPix);
        if (!text.empty())
            Label1->setText(QString::fromStdString(text));
    }
    if ((e->buttons() & Qt::RightButton) && y1_ >= 1) {
        y2_ = at.y();
        changed = true;
        const ScopeReadout &r = traces_.Readout();
        const std::string text = VoltReadout(y1_, y2_, layout_.YPix, r.Channel1 ? r.VoltsPerDiv1 : r.VoltsPerDiv2);
        if (!text.empty())
            Label2->setText(QString::fromStdString(text));
    }
    // The lines show at once, also while the oscilloscope stands still.
    if (changed)
        update();
}

void TOszidia::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        x1_ = x2_ = -1;
        Label1->setText(kTimeIdle);
    } else if (e->button() == Qt::RightButton) {
        y1_ = y2_ = -1;
        Label2->setText(kVoltIdle);
    }
    update();
}
