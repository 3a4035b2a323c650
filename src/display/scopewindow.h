// The oscilloscope window: a 10 x 8 division graticule with two traces drawn
// into an off-screen bitmap, time and voltage cursors dragged with the mouse
// and read out in the top strip, the "Illum." button and the text export of
// the stored block. The oscilloscope page of the main window feeds it point
// by point and repaints it after each block; its screen colour lives in the
// settings section OSZIPRIV. UI thread only.
#pragma once

#include "display/scopelayout.h"
#include "display/scopetraces.h"

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

class QLabel;
class QPushButton;

class TOszidia : public QWidget {
    Q_OBJECT
public:
    static constexpr std::uint32_t kScreenColour = 0x808000;  // teal (0x00BBGGRR)
    static constexpr std::uint32_t kIllumColour = 0xFFFF00;   // aqua
    static constexpr std::uint32_t kGridColour = 0x00FFFF;    // yellow
    static constexpr std::uint32_t kTrace1Colour = 0x0000FF;  // red
    static constexpr std::uint32_t kTrace2Colour = 0xFF0000;  // blue
    static constexpr std::uint32_t kCursorColour = 0x000000;
    static constexpr std::uint32_t kStripColour = 0xC0C0C0;   // silver

    explicit TOszidia(QWidget *parent = nullptr);
    ~TOszidia() override;

    // Stores the title, reallocates the arrays for `count` zeroed points,
    // adopts ymin/ymax while the vertical range is unset, sets the
    // horizontal range 0..xmax (seconds over the width; -10 in X-Y
    // operation) and lays the screen out.
    void SetupScope(const QString &title, int count, double xmax, double ymin, double ymax);
    // Stores point `index` (ignored outside the arrays) with the readout
    // factors of its block. No repaint: the caller repaints after a block.
    void StoreScopePoint(int index, bool channelFlag, float position2, float position1, float voltsPerDiv2,
                         float voltsPerDiv1, float x, float y2, float y1);
    // Writes the stored block as text: 0, an I/O error number, or 1000
    // without arrays.
    int SaveScopeAsText(const QString &fileName, const QString &separator) const;

    // The window's bitmap, drawn from the current state (the clipboard copy).
    const QImage &Bitmap();
    std::uint32_t ScreenColour() const { return screenColour_; }
    const display::ScopeTraces &Traces() const { return traces_; }
    const display::ScopeLayout &Layout() const { return layout_; }

    // Writes the screen colour to OSZIPRIV/COLDIA; done when the window goes.
    bool SaveSettings() const;

    QPushButton *IllumBut = nullptr;
    QLabel *Label1 = nullptr; // time cursor readout
    QLabel *Label2 = nullptr; // voltage cursor readout

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

private:
    void LayoutScope();
    void DrawScope();
    void IllumButClick();

    display::ScopeTraces traces_;
    display::ScopeLayout layout_;
    QString title_;
    double xmax_ = 10.0;
    double ymin_ = display::kScopeUnsetRange, ymax_ = display::kScopeUnsetRange;
    int x1_ = -1, x2_ = -1, y1_ = -1, y2_ = -1; // cursors in pixels, -1 unused
    std::uint32_t screenColour_ = kScreenColour;
    QImage bitmap_;
    QFont bitmapFont_; // of the title on the bitmap
    QWidget *readoutFrame_ = nullptr;
    std::vector<display::PixelPoint> pixels_; // trace scratch, sized with the arrays
    std::vector<QPoint> points_;
};
