// The hidden window that receives the capture completions (MM_WIM_DATA) and
// calls the capture callback on the UI thread. Create it once, before the
// first capture, on the UI thread; it registers itself with the engine.
#pragma once

#include <QObject>
#include <QTimer>

namespace audio {

class Tdummy : public QObject {
    Q_OBJECT
public:
    explicit Tdummy(QObject *parent = nullptr);
    ~Tdummy() override;

    void SetLanguage(char) {} // no texts

    // Guards a running capture: when no completion has come `ms` after the
    // start, the engine ends the capture as lost.
    void armWatchdog(int ms);
    void disarmWatchdog();

protected:
    bool event(QEvent *e) override;

private:
    QTimer watchdog_;
};

} // namespace audio
