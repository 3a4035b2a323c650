// The program's windows on an unpaced virtual card for runs of the analyser
// page, with the WM_ANALYSER_NEXT requests counted.
#pragma once

#include "audio/capture.h"
#include "widgets/radiogroup.h"
#include "support/appwindows.h"

#include <QPushButton>

namespace analysertest {

using testsupport::kIdealCard;

class AnalyserTest : public testsupport::AppWindowsTest {
protected:
    testsupport::MessageCounter next{platform::WM_ANALYSER_NEXT};

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
