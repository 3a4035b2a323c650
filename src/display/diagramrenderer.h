// Drawing of the diagram: one path from the diagram state to a painter that
// serves the screen, the clipboard copy and the printout alike. The caller
// lays the diagram out first (ComputeDiagramLayout) and hands over fonts and
// scratch buffers, so drawing allocates no curve-sized memory.
#pragma once

#include "display/diagramcurves.h"
#include "display/diagramlayout.h"
#include "display/diagramoptions.h"
#include "display/diagramoverlays.h"
#include "dsp/curvedecimation.h"

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>
#include <algorithm>

class QPainter;

namespace display {

// Mouse readout state of the diagram window; -1 coordinates mean "none".
struct DiagramCursor {
    int x1 = -1, y1 = -1; // anchor
    int x2 = -1, y2 = -1; // moving point
    int AnchorX = 0, AnchorY = 0; // where the readout text goes
    int CursorMode = 0;   // 0 nothing, 1 frequency, 2 level, 3 slope, 4 click readout
    bool CursorLatched = false;
    QString ClickText, LevelText, FreqText;
};

// A curve drawn reduced to the pixel columns: an overlay's level, or a
// difference to the reference.
struct ShownCurve {
    std::string Name;
    std::uint32_t Colour = 0;
    bool RightAxis = false;
    const double *X = nullptr, *Y = nullptr;
    std::size_t Count = 0;
    // The curve already reduced to the layout's columns (a stored curve
    // changes only with the axis): drawn from these instead of X and Y.
    const dsp::ColumnRange *Columns = nullptr;
    int ColumnCount = 0;
};

// Columns of a curve on the plot of `layout`: the plot's width + 1, at most
// `capacity`.
inline int PlotColumns(const DiagramLayout &layout, int capacity)
{
    return std::min(layout.Plot.Width() + 1, capacity);
}

// What the overlays add to a drawing: the curves to draw (overlays, or in
// reference mode every difference to the reference), the legend (one
// entry per overlay: its colour and name), and the information line (the
// limits' verdict, the reference mode), drawn at the plot's bottom left.
// In reference mode the live curves are drawn only as their differences.
struct OverlayScene {
    std::vector<ShownCurve> Curves;
    struct LegendEntry {
        QString Text;
        std::uint32_t Colour = 0;
    };
    std::vector<LegendEntry> Legend;
    QString InfoLine;
    std::uint32_t InfoColour = 0;
    bool ReferenceMode = false;
};

// Everything one drawing needs, by reference.
struct DiagramScene {
    const DiagramAxes &Axes;
    const DiagramLayout &Layout;
    const DiagramOptions &Options;
    const DiagramCurves &Curves;
    const DiagramCursor &Cursor;
    const QString &XCaption;
    const QString &YCaption;
    const QString &Y2Caption;
    const QString &Title;  // drawn only for output
    const QString &Status; // drawn only for output
    const QFont &Font;     // diagram font at the layout's font size
    const QFont &NameFont; // bold italic program-name font
    const std::vector<ExtraCurve> *Extra = nullptr; // drawn after the level curves
    const OverlayScene *Overlays = nullptr;         // drawn before the live curves
};

// Scratch buffers of kMaxPoints entries each for building polylines.
// Columns holds ColumnCount entries for the decimated curves.
struct CurveScratch {
    PixelPoint *Pixels = nullptr;
    QPoint *Points = nullptr;
    dsp::ColumnRange *Columns = nullptr;
    int ColumnCount = 0;
};

// Colour of a 0x00BBGGRR value.
inline QColor ColourFromBgr(std::uint32_t bgr)
{
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

// Pixel size of the diagram font for a point size (96 pixels per inch).
int DiagramFontPixelSize(int pointSize);
QFont MakeDiagramFont(int pointSize);
QFont MakeProgramNameFont(int pointSize);

constexpr const char *kProgramName = "Sonalyx";
constexpr std::uint32_t kProgramNameColour = 0x008080;

// Draws the scene onto a painter whose device covers the layout's width and
// height. forOutput adds title and status text and leaves out the mouse
// readout. Draws nothing when the plot height is negative.
void DrawDiagramScene(QPainter &painter, const DiagramScene &scene, bool forOutput, CurveScratch scratch);

} // namespace display
