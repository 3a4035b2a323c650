// The diagram window's mouse readouts, level buttons and frequency scroll
// bars (see diagramwindow.h). Every range change is pushed into the options
// dialog so its fields always show the current ranges.
#include "display/diagramoptionseditor.h"
#include "display/diagramreadout.h"
#include "display/diagramwindow.h"

#include <QAbstractSlider>
#include <QMouseEvent>
#include <QScrollBar>
#include <cmath>

using namespace display;

namespace {

// How far outside the plot the mouse may go before the readout is dropped.
constexpr int kPlotSlack = 4;

QString ToText(const std::string &s) { return QString::fromStdString(s); }

} // namespace

double TDiagramm::ScaledFrequency(double hz) const
{
    return hz * double(xScale_.Factor) + double(xScale_.Offset);
}

void TDiagramm::FormMouseDown(Qt::MouseButton button, int X, int Y)
{
    cursor_.AnchorX = X;
    cursor_.AnchorY = Y;
    if (button != Qt::LeftButton) {
        update();
        return;
    }
    cursor_.x1 = X;
    cursor_.y1 = Y;
    if (layout_.YPixPerUnit == 0.0)
        return;
    const double f = XToFreq(axes_, layout_, X);
    const double level = double(axes_.YMax) - (Y - layout_.Plot.Top) / layout_.YPixPerUnit;
    // The click readout is scaled like the moving one: a readout in "mm"
    // must not show the frequency in Hz.
    cursor_.ClickText = ToText(ClickReadout(ScaledFrequency(f), xScale_.Unit, level));
    // With several curves drawn the readout says which one was hit.
    const QString name = CurveNameAt(X, Y);
    if (!name.isEmpty())
        cursor_.ClickText += QStringLiteral(" ") + name;
    cursor_.CursorMode = 4;
    update();
}

void TDiagramm::FormMouseMove(int X, int Y)
{
    DiagramCursor &c = cursor_;
    const DiagramOptions &o = options_;
    c.AnchorX = X;
    c.AnchorY = Y;
    double d = 0.0, r = 1.0;
    if (c.x1 > 0 && (o.MeasureFrequency || o.MeasureSlope)) {
        c.x2 = X;
        if (layout_.XPixPerPoint == 0.0)
            return;
        const double f2 = XToFreq(axes_, layout_, X), f1 = XToFreq(axes_, layout_, c.x1);
        // Left of a linear axis a column can map to 0 Hz or below: no ratio there.
        if (f1 > 0.0 && f2 > 0.0)
            r = std::max(f1, f2) / std::min(f1, f2);
        c.FreqText = ToText(FrequencyReadout(ScaledFrequency(f2), xScale_.Unit));
        if (!o.MeasureSlope)
            c.CursorMode = 1;
    }
    if (c.y1 > 0 && (o.MeasureLevel || o.MeasureSlope)) {
        c.y2 = Y;
        if (layout_.YPixPerUnit == 0.0)
            return;
        d = (c.y1 - Y) / layout_.YPixPerUnit;
        if (d == 0.0)
            return; // the previous readout stays
        c.LevelText = ToText(LevelReadout(d, ratioWord_.toStdString()));
        if (!o.MeasureSlope)
            c.CursorMode = 2;
    }
    // Equal frequencies have no slope: the frequency readout stays.
    if (c.y1 > 0 && c.x1 > 0 && o.MeasureSlope && r != 1.0) {
        c.FreqText = ToText(SlopeReadout(d, r, slopeUnit_.toStdString()));
        c.CursorMode = 3;
    }
    const PixelRect &p = layout_.Plot;
    if (X < p.Left - kPlotSlack || X > p.Right + kPlotSlack || Y < p.Top - kPlotSlack ||
        Y > p.Bottom + kPlotSlack)
        ClearCursors(true);
    update();
}

void TDiagramm::FormMouseUp(Qt::MouseButton button, int, int)
{
    if (button == Qt::LeftButton) {
        if (cursor_.CursorLatched)
            ClearCursors(false);
        cursor_.CursorLatched = !cursor_.CursorLatched;
    } else if (button == Qt::RightButton) {
        ShowOptions();
    }
    update();
}

void TDiagramm::mousePressEvent(QMouseEvent *e)
{
    const QPoint p = e->position().toPoint();
    FormMouseDown(e->button(), p.x(), p.y());
}

void TDiagramm::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint p = e->position().toPoint();
    FormMouseMove(p.x(), p.y());
}

void TDiagramm::mouseReleaseEvent(QMouseEvent *e)
{
    const QPoint p = e->position().toPoint();
    FormMouseUp(e->button(), p.x(), p.y());
}

// ---------------------------------------------------------------- range controls

void TDiagramm::RangeChanged()
{
    // With only the left axis the right range follows it.
    if (axes_.LeftAxisShown && !axes_.RightAxisShown) {
        axes_.Y2Max = axes_.YMax;
        axes_.Y2Min = axes_.YMin;
    }
    options_.OptXMin = axes_.XMin;
    options_.OptXMax = axes_.XMax;
    options_.OptYMin = axes_.YMin;
    options_.OptYMax = axes_.YMax;
    if (editor_) {
        editorRecord_ = options_;
        editor_->LoadOptions(options_);
    }
    if (LayoutOwnBitmap(false))
        update();
}

void TDiagramm::LevelButton(bool top, bool up)
{
    const bool autoStep = options_.YStepAuto;
    const bool changed = top ? StepLevelTop(axes_.YMax, axes_.YMin, up, autoStep, options_.YStep)
                             : StepLevelBottom(axes_.YMin, axes_.YMax, up, autoStep, options_.YStep);
    if (changed)
        RangeChanged();
}

void TDiagramm::SpinButtonYmaxUpClick() { LevelButton(true, true); }
void TDiagramm::SpinButtonYmaxDownClick() { LevelButton(true, false); }
void TDiagramm::SpinButtonYminUpClick() { LevelButton(false, true); }
void TDiagramm::SpinButtonYminDownClick() { LevelButton(false, false); }

void TDiagramm::FrequencyBar(QScrollBar *bar, bool upper, int action)
{
    // The bars have no position meaning: they stay in the middle so both
    // arrows keep acting.
    if (bar)
        bar->setSliderPosition(1);
    if (action != QAbstractSlider::SliderSingleStepAdd && action != QAbstractSlider::SliderSingleStepSub)
        return;
    const bool up = action == QAbstractSlider::SliderSingleStepAdd;
    const bool logX = options_.LogX;
    const bool changed = upper ? StepUpperFrequency(axes_.XMax, axes_.XMin, up, logX)
                               : StepLowerFrequency(axes_.XMin, axes_.XMax, up, logX);
    if (changed)
        RangeChanged();
}

void TDiagramm::ScrollBarHFScroll(int action) { FrequencyBar(ScrollBarHF, true, action); }
void TDiagramm::ScrollBarLFScroll(int action) { FrequencyBar(ScrollBarLF, false, action); }
