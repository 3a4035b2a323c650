// The impulse response window (see impulsewindow.h).
#include "display/impulsewindow.h"

#include "display/diagramrenderer.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace display {

namespace {

constexpr int kMarkerGrip = 5; // pixels either side of a marker that take it

// A 1-2-5 step giving about `count` divisions of `span`.
double TickStep(double span, int count)
{
    const double raw = span / std::max(count, 1);
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * decade >= raw)
            return m * decade;
    return 10.0 * decade;
}

} // namespace

ImpulsePlot::ImpulsePlot(QWidget *parent) : QWidget(parent)
{
    setObjectName("ImpulsePlot");
    setMinimumSize(360, 200);
    setMouseTracking(true);
    setAccessibleName("Impulse response");
}

void ImpulsePlot::SetTraces(std::vector<ImpulseTrace> traces, double rate)
{
    traces_ = std::move(traces);
    rate_ = rate;
    update();
}

void ImpulsePlot::SetWindow(double preMs, double postMs)
{
    preMs_ = preMs;
    postMs_ = postMs;
    if (dragging_ == 0)
        fitSpan();
    update();
}

void ImpulsePlot::fitSpan()
{
    // The window with room on both sides, at least 1 ms before and 5 ms after.
    fromMs_ = -std::max(1.5 * preMs_, 1.0);
    toMs_ = std::max(1.5 * postMs_, 5.0);
}

QRect ImpulsePlot::plotRect() const { return QRect(50, 8, std::max(width() - 60, 10), std::max(height() - 36, 10)); }

double ImpulsePlot::TimeToX(double ms) const
{
    const QRect r = plotRect();
    return r.left() + (ms - fromMs_) / (toMs_ - fromMs_) * r.width();
}

double ImpulsePlot::XToTime(double x) const
{
    const QRect r = plotRect();
    return fromMs_ + (x - r.left()) / r.width() * (toMs_ - fromMs_);
}

void ImpulsePlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRect r = plotRect();
    p.fillRect(r, Qt::white);
    // The window's span, shaded.
    const int x0 = static_cast<int>(std::lround(TimeToX(-preMs_)));
    const int x1 = static_cast<int>(std::lround(TimeToX(postMs_)));
    p.fillRect(QRect(QPoint(std::max(x0, r.left()), r.top()), QPoint(std::min(x1, r.right()), r.bottom())),
               QColor(0xE8, 0xF0, 0xFF));

    // Time grid and labels.
    const QFontMetrics fm(font());
    const double step = TickStep(toMs_ - fromMs_, 8);
    for (double t = std::ceil(fromMs_ / step) * step; t <= toMs_ + 1e-9; t += step) {
        const int x = static_cast<int>(std::lround(TimeToX(t)));
        p.setPen(QColor(0xD0, 0xD0, 0xD0));
        p.drawLine(x, r.top(), x, r.bottom());
        p.setPen(Qt::black);
        const QString label = QString::number(std::abs(t) < 1e-9 ? 0.0 : t, 'g', 4);
        p.drawText(x - fm.horizontalAdvance(label) / 2, r.bottom() + fm.ascent() + 3, label);
    }
    p.drawText(r.right() - fm.horizontalAdvance("ms"), r.bottom() + 2 * fm.height() + 2, "ms");
    p.setPen(Qt::gray);
    const int yMid = r.center().y();
    p.drawLine(r.left(), yMid, r.right(), yMid);

    // Traces, scaled to the largest magnitude of any.
    double peak = 0.0;
    for (const ImpulseTrace &t : traces_)
        for (double v : t.Samples)
            peak = std::max(peak, std::abs(v));
    if (peak > 0.0 && rate_ > 0.0) {
        const double half = 0.48 * r.height() / peak;
        p.setClipRect(r);
        int legendY = r.top() + 2;
        for (const ImpulseTrace &t : traces_) {
            p.setPen(QPen(ColourFromBgr(t.Colour), 0));
            const auto first = static_cast<std::int64_t>(std::floor(fromMs_ * rate_ / 1000.0)) + t.Zero;
            const auto last = static_cast<std::int64_t>(std::ceil(toMs_ * rate_ / 1000.0)) + t.Zero;
            QPolygonF line;
            for (std::int64_t i = std::max<std::int64_t>(first, 0);
                 i <= std::min<std::int64_t>(last, static_cast<std::int64_t>(t.Samples.size()) - 1); ++i) {
                const double ms = static_cast<double>(i - t.Zero) * 1000.0 / rate_;
                line << QPointF(TimeToX(ms), yMid - half * t.Samples[static_cast<std::size_t>(i)]);
            }
            p.drawPolyline(line);
            p.drawText(r.right() - 4 - fm.horizontalAdvance(t.Name), legendY + fm.ascent(), t.Name);
            legendY += fm.height();
        }
        p.setClipping(false);
    }

    // The window's markers.
    p.setPen(QPen(QColor(0x00, 0x60, 0x00), 2));
    for (const int x : {x0, x1})
        if (x >= r.left() && x <= r.right())
            p.drawLine(x, r.top(), x, r.bottom());
    p.setPen(Qt::black);
    p.drawRect(r);
}

void ImpulsePlot::mousePressEvent(QMouseEvent *e)
{
    if (!Editable || e->button() != Qt::LeftButton)
        return;
    const double x = e->position().x();
    const double dPre = std::abs(x - TimeToX(-preMs_)), dPost = std::abs(x - TimeToX(postMs_));
    if (std::min(dPre, dPost) <= kMarkerGrip)
        dragging_ = dPre < dPost ? -1 : 1;
}

void ImpulsePlot::mouseMoveEvent(QMouseEvent *e)
{
    const double x = e->position().x();
    if (dragging_ == 0) {
        const bool near = Editable && std::min(std::abs(x - TimeToX(-preMs_)), std::abs(x - TimeToX(postMs_))) <= kMarkerGrip;
        setCursor(near ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    const double t = XToTime(x);
    if (dragging_ < 0)
        preMs_ = std::max(0.0, -t);
    else
        postMs_ = std::max(0.0, t);
    update();
    emit markerMoved(preMs_, postMs_);
}

void ImpulsePlot::mouseReleaseEvent(QMouseEvent *e)
{
    if (dragging_ == 0 || e->button() != Qt::LeftButton)
        return;
    dragging_ = 0;
    emit markerReleased(preMs_, postMs_);
}

TImpulseWindow::TImpulseWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName("ImpulseWindow");
    Plot = new ImpulsePlot(this);
    PreLabel = new QLabel(this);
    PreLabel->setObjectName("ImpulsePreLabel");
    PostLabel = new QLabel(this);
    PostLabel->setObjectName("ImpulsePostLabel");
    PreMs = new QDoubleSpinBox(this);
    PreMs->setObjectName("ImpulsePreMs");
    PostMs = new QDoubleSpinBox(this);
    PostMs->setObjectName("ImpulsePostMs");
    for (QDoubleSpinBox *s : {PreMs, PostMs}) {
        s->setDecimals(2);
        s->setSingleStep(0.5);
        s->setKeyboardTracking(false); // a typed value counts when it is complete
    }
    PreLabel->setBuddy(PreMs);
    PostLabel->setBuddy(PostMs);
    SaveWave = new QPushButton(this);
    SaveWave->setObjectName("ImpulseSaveWave");
    SaveText = new QPushButton(this);
    SaveText->setObjectName("ImpulseSaveText");

    auto *controls = new QHBoxLayout;
    controls->addWidget(PreLabel);
    controls->addWidget(PreMs);
    controls->addSpacing(12);
    controls->addWidget(PostLabel);
    controls->addWidget(PostMs);
    controls->addStretch();
    controls->addWidget(SaveWave);
    controls->addWidget(SaveText);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Plot, 1);
    layout->addLayout(controls);

    const auto changed = [this] {
        if (setting_)
            return;
        Plot->SetWindow(PreMs->value(), PostMs->value());
        emit windowChanged(PreMs->value(), PostMs->value());
    };
    connect(PreMs, &QDoubleSpinBox::valueChanged, this, changed);
    connect(PostMs, &QDoubleSpinBox::valueChanged, this, changed);
    // A dragged marker shows in its spin box at once and counts when it is let go.
    connect(Plot, &ImpulsePlot::markerMoved, this, [this](double pre, double post) {
        setting_ = true;
        PreMs->setValue(pre);
        PostMs->setValue(post);
        setting_ = false;
    });
    connect(Plot, &ImpulsePlot::markerReleased, this, [this, changed] {
        Plot->SetWindow(PreMs->value(), PostMs->value()); // the spin boxes' limits
        changed();
    });
    connect(SaveWave, &QPushButton::clicked, this, &TImpulseWindow::saveWaveRequested);
    connect(SaveText, &QPushButton::clicked, this, &TImpulseWindow::saveTextRequested);
    SetLanguage('D');
    resize(560, 340);
}

void TImpulseWindow::SetTraces(std::vector<ImpulseTrace> traces, double rate)
{
    Plot->SetTraces(std::move(traces), rate);
}

void TImpulseWindow::SetWindow(double preMs, double postMs, double preMaxMs, double postMaxMs)
{
    setting_ = true;
    PreMs->setRange(0.0, std::max(preMaxMs, 0.0));
    PostMs->setRange(1.0, std::max(postMaxMs, 1.0));
    PreMs->setValue(preMs);
    PostMs->setValue(postMs);
    setting_ = false;
    Plot->SetWindow(PreMs->value(), PostMs->value());
}

void TImpulseWindow::SetEditable(bool on)
{
    Plot->Editable = on;
    for (QWidget *w : std::initializer_list<QWidget *>{PreMs, PostMs})
        w->setEnabled(on);
}

void TImpulseWindow::SetLanguage(char language)
{
    const bool de = language == 'D';
    if (!de && language != 'E')
        return;
    setWindowTitle(de ? "Impulsantwort" : "Impulse response");
    PreLabel->setText(de ? "Fenster vor 0 (ms)" : "Window before 0 (ms)");
    PostLabel->setText(de ? "nach 0 (ms)" : "after 0 (ms)");
    SaveWave->setText(de ? "Impulsantwort speichern (WAV)" : "Save impulse response (WAV)");
    SaveText->setText(de ? "Kurven speichern (Text)" : "Save curves (text)");
}

} // namespace display
