// The impulse response window of the log sweep: the response against time
// in ms (time zero at its peak, one trace per measured input), and the time
// window the frequency response is taken from, shown as two markers that
// can be dragged or set in their spin boxes. A moved window is reported
// (windowChanged) so the owner evaluates the response again without a new
// sweep; two buttons ask for the exports (the response as a float wave
// file, the diagram's curves as text). UI thread only.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

class QDoubleSpinBox;
class QLabel;
class QPushButton;

namespace display {

struct ImpulseTrace {
    QString Name;
    std::vector<double> Samples;
    std::int64_t Zero = 0;       // index of time zero in Samples
    std::uint32_t Colour = 0;    // 0x00BBGGRR
};

// The plot: traces, the time axis and the window's markers. Dragging a
// marker moves it; the move is reported when the button is released.
class ImpulsePlot : public QWidget {
    Q_OBJECT
public:
    explicit ImpulsePlot(QWidget *parent = nullptr);
    void SetTraces(std::vector<ImpulseTrace> traces, double rate);
    // The window in ms before and after time zero; the shown time span
    // follows it.
    void SetWindow(double preMs, double postMs);
    double PreMs() const { return preMs_; }
    double PostMs() const { return postMs_; }
    // Pixel column of a time in ms, and the time of a column (last layout).
    double TimeToX(double ms) const;
    double XToTime(double x) const;
    bool Editable = true;

signals:
    // While dragging (moved) and when the button is released (done).
    void markerMoved(double preMs, double postMs);
    void markerReleased(double preMs, double postMs);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void fitSpan();
    QRect plotRect() const;

    std::vector<ImpulseTrace> traces_;
    double rate_ = 0.0;
    double preMs_ = 0.0, postMs_ = 300.0;
    double fromMs_ = -1.0, toMs_ = 450.0; // the time span shown
    int dragging_ = 0;                    // 0 none, -1 the pre marker, 1 the post marker
};

class TImpulseWindow : public QWidget {
    Q_OBJECT
public:
    explicit TImpulseWindow(QWidget *parent = nullptr);

    void SetTraces(std::vector<ImpulseTrace> traces, double rate);
    // The window and the largest values the spin boxes take; no signal.
    void SetWindow(double preMs, double postMs, double preMaxMs, double postMaxMs);
    // Off while no response can be evaluated again (after a failed run).
    void SetEditable(bool on);
    // 'D' or 'E'.
    void SetLanguage(char language);

    ImpulsePlot *Plot = nullptr;            // "ImpulsePlot"
    QDoubleSpinBox *PreMs = nullptr;        // "ImpulsePreMs"
    QDoubleSpinBox *PostMs = nullptr;       // "ImpulsePostMs"
    QLabel *PreLabel = nullptr, *PostLabel = nullptr;
    QPushButton *SaveWave = nullptr;        // "ImpulseSaveWave"
    QPushButton *SaveText = nullptr;        // "ImpulseSaveText"

signals:
    void windowChanged(double preMs, double postMs);
    void saveWaveRequested();
    void saveTextRequested();

private:
    bool setting_ = false;
};

} // namespace display
