// The program's windows on an unpaced virtual card for runs of the analyser
// page, with the WM_ANALYSER_NEXT requests counted.
#pragma once

#include "audio/capture.h"
#include "display/diagramwindow.h"
#include "platform/messages.h"
#include "platform/radiogroup.h"
#include "support/appwindows.h"

#include <QPushButton>

namespace analysertest {

// An ideal card: played samples come back unchanged.
inline const char *const kIdealCard = "GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-200\nNOISE=-200\n";

class NextCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e); m && m->msg == platform::WM_ANALYSER_NEXT)
            ++count;
        return false;
    }
};

class AnalyserTest : public testsupport::AppWindowsTest {
protected:
    NextCounter next;

    void start(const std::string &loopback, const std::string &sections = {})
    {
        AppWindowsTest::start(loopback, sections);
        if (form())
            form()->installEventFilter(&next);
    }

    TDiagramm *diagram() { return app::Diagramm; }

    // START in the current mode and wait until the run ends by itself.
    bool runToEnd(int ms = 8000)
    {
        child<QPushButton>("StartButton")->click();
        return waitUntil([] { return !app::MS.AnalyserRunning; }, ms) && waitUntil([] { return !audio::CaptureOpen(); });
    }

    // START in single mode and wait for the end.
    bool runOnce()
    {
        child<platform::RadioGroup>("RunningGroup")->setItemIndex(0);
        return runToEnd();
    }

    // Index of the largest level of a curve over points 1 .. count-1.
    static int peakIndex(const float *curve, int count)
    {
        int best = 1;
        for (int i = 1; i < count; ++i)
            if (curve[i] > curve[best])
                best = i;
        return best;
    }
};

} // namespace analysertest
