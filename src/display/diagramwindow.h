// The diagram window: draws up to three curves (the analyser's spectra, the
// sweep's level and phase, a correction test) and any extra curves of a
// measurement (diagramextracurves.h) over a frequency axis into an
// off-screen bitmap, owns the curve arrays, the axis ranges and the options
// record, keeps its colours and stepping in the settings file and exports the
// curves as text. The main window feeds it from its message handlers; UI
// thread only.
#pragma once

#include "display/diagramcurves.h"
#include "display/diagramlayout.h"
#include "display/diagramoptions.h"
#include "display/diagramoverlays.h"
#include "display/diagramrenderer.h"

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

class QLineEdit;
class QScrollBar;
class SpinButton;

namespace display {
class DiagramOptionsEditor;
}
class TOverlayList;

class TDiagramm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kScreenFontSize = 8;
    static constexpr int kCaptionLength = 39;
    static constexpr int kTitleLength = 255;

    explicit TDiagramm(QWidget *parent = nullptr);
    ~TDiagramm() override;

    // Prepares a run: sets the title, adopts the caller's ranges where the
    // window has none yet and writes the window's level range back into
    // ymin/ymax, clears the curves when the frequency range differs, sets
    // the point count to count + 1 (count at most kMaxPoints - 2) and lays the
    // window out. Returns true when that failed ("Diagram Error").
    bool SetupDiagram(const QString &title, int count, std::int32_t &xmin, std::int32_t &xmax,
                      float &ymin, float &ymax);
    // Stores levels values[0] (K1) and values[1] (K2) of point `index` at
    // `frequency` Hz, with peak hold and difference curve. 0, or 1 when the
    // point could not be stored (the caller stops feeding). No repaint.
    int StorePoint(const float *values, int index, float frequency);

    void SetCurvesVisible(bool show1, bool show2);
    void SetAxesVisible(bool left, bool right);
    void SetXRange(std::int32_t xmin, std::int32_t xmax);
    void GetXRange(std::int32_t &xmin, std::int32_t &xmax) const;
    void SetYRange(float ymax, float ymin);
    void GetYRange(float &ymin, float &ymax) const;
    void SetY2Range(float y2max, float y2min);
    // Axis captions, at most kCaptionLength characters; a caption that
    // appears or disappears re-runs the layout for its margin.
    void SetYCaption(const QString &text);
    void SetY2Caption(const QString &text);
    void SetXCaption(const QString &text);
    const QString &YCaption() const { return yCaption_; }
    const QString &XCaption() const { return xCaption_; }

    QString GetTitle() const;
    void SetStatusText(const QString &text);
    QString StatusText() const;
    int GetPointCount() const { return axes_.PointCount - 1; }

    // Replaces the extra curves (none by default) and repaints. ClearCurves
    // removes them too.
    void SetExtraCurves(std::vector<display::ExtraCurve> curves);
    const std::vector<display::ExtraCurve> &ExtraCurves() const { return extra_; }
    // A linear x axis whatever the options say (an axis of levels in dB,
    // which may be negative); off gives the options' scale back. Lays out
    // and repaints.
    void SetLinearX(bool on);
    bool LinearX() const { return linearX_; }

    // Overlays (diagramwindowoverlays.cpp): stored results drawn beside the
    // live curves, at most display::kMaxOverlays; ClearCurves keeps them.
    // AddOverlay is false when the set is full. With a reference the diagram
    // shows every curve minus the reference (levels in dB, phases wrapped
    // to (-180, 180]) and the text export writes the live curves' differences.
    bool AddOverlay(display::Overlay overlay);
    void RemoveOverlay(int index);
    void SetOverlayVisible(int index, bool visible);
    bool SetReference(int index); // -1: none
    const display::OverlaySet &Overlays() const { return overlays_; }
    // The small list of the overlays (created on first use) shown.
    void ShowOverlayList();
    TOverlayList *OverlayList();
    // Live points outside the limits overlay's bounds at the last drawing
    // (0 without limits), and the information line drawn with it.
    int LimitCrossings() const { return limitCrossings_; }
    QString InfoLine() const { return overlayScene_.InfoLine; }
    // The name of the curve drawn within a few pixels of window point X, Y
    // ("" for none): a live curve (K1/K2, L1/L2 in English), an overlay, or
    // a difference in reference mode.
    QString CurveNameAt(int X, int Y) const;

    void ClearCurves(); // and repaint
    void ResetPeak();   // no repaint
    void ResetDiagram();

    // Lays the diagram out for a bitmap of width x height at font size
    // fontSize (points; 8 on screen), resizing the bitmap. Controls move only
    // with repositionControls and only for the window's own bitmap. Returns
    // false when the numbers admit no layout; callers then do not repaint.
    bool LayoutDiagram(QImage &bitmap, int width, int height, bool repositionControls, int fontSize);
    // Draws into `bitmap` with the last layout (the window's own bitmap is
    // first laid out again if a printout borrowed the layout); forOutput
    // draws title and status text instead of the mouse readout (clipboard,
    // printer).
    void DrawDiagram(QImage &bitmap, bool forOutput);
    // The window's own bitmap (the clipboard copy draws it in output form).
    QImage &Bitmap() { return bitmap_; }
    // Lays out the own bitmap at the window size again (after a printout
    // borrowed the layout) and repaints when that succeeded.
    void Relayout();

    // Writes the curves as text; 0, an I/O error code, or 1000 without arrays.
    int SaveCurvesAsText(const QString &fileName, const QString &separator) const;
    // The same with the separator of the options record.
    int SaveCurvesAsText(const QString &fileName) const;

    // 'D' or 'E': the words of the mouse readouts.
    void SetLanguage(char lang);
    const QString &RatioWord() const { return ratioWord_; }
    const QString &SlopeUnit() const { return slopeUnit_; }

    // Options record, shared whole with the options dialog.
    const display::DiagramOptions &Options() const { return options_; }
    // Takes a record over (what WM_DIAGRAM_OPTIONS does with the dialog's copy).
    void ApplyOptions(const display::DiagramOptions &options);
    void SetOptionsEditor(display::DiagramOptionsEditor *editor) { editor_ = editor; }
    // Clears the readout, loads the record into the dialog and shows it.
    void ShowOptions();

    const display::ScaleRecord &XScale() const { return xScale_; }
    void SetXScale(const display::ScaleRecord &scale) { xScale_ = scale; }

    void ClearCursors(bool resetLatch);
    const display::DiagramCursor &Cursor() const { return cursor_; }

    // Mouse readouts (diagramwindowinput.cpp), window coordinates. A left
    // click anchors and reads frequency and level there; moving then reads a
    // frequency, a level difference or a slope against the anchor, as the
    // options' measurement mode says; a second left click ends it; a right
    // click opens the options.
    void FormMouseDown(Qt::MouseButton button, int X, int Y);
    void FormMouseMove(int X, int Y);
    void FormMouseUp(Qt::MouseButton button, int X, int Y);
    // Level buttons: top and bottom of the level axis up or down one step.
    void SpinButtonYmaxUpClick();
    void SpinButtonYmaxDownClick();
    void SpinButtonYminUpClick();
    void SpinButtonYminDownClick();
    // Frequency scroll bars: only the arrow actions (QAbstractSlider's
    // SliderSingleStepSub = lower, SliderSingleStepAdd = higher) act.
    void ScrollBarHFScroll(int action);
    void ScrollBarLFScroll(int action);

    // Writes the "DIAGPRIV" section; done by itself when the event loop ends
    // and at destruction.
    bool SaveSettings() const;

    const display::DiagramAxes &Axes() const { return axes_; }
    const display::DiagramLayout &Layout() const { return layout_; }
    const display::DiagramCurves &Curves() const { return curves_; }

    // Controls (named as in the window's layout).
    SpinButton *SpinButtonYmax = nullptr;
    SpinButton *SpinButtonYmin = nullptr;
    QLineEdit *Edicomment = nullptr; // diagram title
    QLineEdit *Edit2 = nullptr;      // status line
    QScrollBar *ScrollBarLF = nullptr;
    QScrollBar *ScrollBarHF = nullptr;

signals:
    // An overlay was added or removed, shown or hidden, or the reference
    // changed.
    void overlaysChanged();
    // The options record was taken over; the main window recolours its
    // channel check boxes after ColLine1/ColLine2.
    void optionsApplied();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // After a range change on the window: the dialog shows the new ranges,
    // the layout follows and the window repaints.
    void RangeChanged();
    // The editor is given the record again when the ranges or the curves
    // shown changed here since it last saw them (a page set the diagram up,
    // a run showed its second curve): its next change then starts from them.
    void SyncEditor();
    void LevelButton(bool top, bool up);
    void FrequencyBar(QScrollBar *bar, bool upper, int action);
    double ScaledFrequency(double hz) const;
    bool LayoutOwnBitmap(bool repositionControls);
    void SetCaption(QString &caption, const QString &text);
    void RepositionControls();
    void ApplyFieldColours();
    void RefreshFonts(int fontSize);
    display::DiagramTextMetrics MeasureText() const;
    // Fills overlayScene_ (and the difference buffers) for a drawing.
    void BuildOverlayScene();
    bool SecondCurveIsPhase() const;
    QString LiveCurveName(int curve) const;
    // The live curves' differences to the reference, as extra curves: what
    // reference mode shows and exports.
    void ComputeLiveDifferences(std::vector<display::ExtraCurve> &out) const;

    display::DiagramAxes axes_;
    display::DiagramLayout layout_;
    display::DiagramOptions options_;
    display::DiagramCurves curves_;
    std::vector<display::ExtraCurve> extra_;
    bool linearX_ = false;
    display::DiagramCursor cursor_;
    display::ScaleRecord xScale_;
    display::DiagramOptionsEditor *editor_ = nullptr;
    display::DiagramOptions editorRecord_; // the record the editor last saw

    QString yCaption_, y2Caption_, xCaption_;
    QString ratioWord_ = QStringLiteral("fach");
    QString slopeUnit_ = QStringLiteral("dB/Okt");

    QImage bitmap_;
    const QImage *layoutBitmap_ = nullptr; // bitmap the last layout was made for
    int fontSize_ = -1;                     // font size of the cached fonts
    QFont font_, nameFont_;
    std::unique_ptr<display::PixelPoint[]> pixelBuffer_;
    std::unique_ptr<QPoint[]> pointBuffer_;

    display::OverlaySet overlays_;
    display::OverlayScene overlayScene_;
    std::vector<display::ExtraCurve> liveDifferences_;
    struct OverlayDifference {
        std::vector<double> X, Y;
    };
    std::vector<OverlayDifference> overlayDifferences_;
    std::unique_ptr<dsp::ColumnRange[]> columnBuffer_;
    // Stored curves reduced to the columns of the last layout, one per
    // overlay curve; made again when the axis, the plot's width or the
    // overlays change (overlayGeneration_ counts the changes).
    struct ColumnCache {
        const double *X = nullptr;
        std::size_t Count = 0;
        dsp::DecimationAxis Axis;
        std::uint64_t Generation = 0;
        std::vector<dsp::ColumnRange> Columns;
    };
    std::vector<ColumnCache> columnCache_;
    std::uint64_t overlayGeneration_ = 0;
    const ColumnCache *CachedColumns(std::size_t slot, const double *x, const double *y, std::size_t count);
    int limitCrossings_ = 0;
    char language_ = 'D';
    TOverlayList *overlayList_ = nullptr;
};
