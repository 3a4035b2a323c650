// The program's windows on a scratch settings file with an unpaced virtual
// loopback card, for runs of the analyser page: message boxes and file
// dialogs answered by the test, WM_ANALYSER_NEXT requests counted.
#pragma once

#include "app/forms.h"
#include "app/mainform.h"
#include "audio/capture.h"
#include "display/diagramwindow.h"
#include "platform/filedialog.h"
#include "platform/messagebox.h"
#include "platform/messages.h"
#include "platform/utilities.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace analysertest {

// An ideal card: played samples come back unchanged.
inline const char *const kIdealCard = "PACED=FALSE\nGAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-200\nNOISE=-200\n";

// Counts the WM_ANALYSER_NEXT requests the main window receives.
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

class AnalyserTest : public ::testing::Test {
protected:
    std::string settings;
    std::vector<platform::MessageRequest> messages;
    QString nextFile;
    NextCounter next;

    // `loopback`: keys of section LOOPBACK; `sections`: further sections.
    void start(const std::string &loopback, const std::string &sections = {})
    {
        settings = testsupport::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                   "/sonmain.ini";
        testsupport::WriteFile(settings, "[LOOPBACK]\n" + loopback + sections);
        platform::SetSettingsFileName(settings);
        app::MS = app::MeasurementState{};
        ASSERT_TRUE(app::CreateWindows());
        app::MainForm->installEventFilter(&next);
        app::MainForm->show();
        QTest::qWait(10);
    }

    void SetUp() override
    {
        platform::SetMessageHandler([this](const platform::MessageRequest &m) { messages.push_back(m); });
        platform::SetFileDialogHandler([this](const platform::FileDialogRequest &) { return nextFile; });
    }

    void TearDown() override
    {
        platform::SetMessageHandler({});
        platform::SetFileDialogHandler({});
        if (app::MainForm && app::MainForm->isVisible())
            app::MainForm->close();
        app::DestroyWindows();
        platform::SetSettingsFileName({});
    }

    TMainForm *form() { return app::MainForm; }
    TDiagramm *diagram() { return app::Diagramm; }
    template <class T>
    T *child(const char *name)
    {
        T *w = form()->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Dispatches events until `done` holds or `ms` pass; returns `done`.
    static bool waitUntil(const std::function<bool()> &done, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms)
                return false;
            QTest::qWait(2);
        }
        return true;
    }

    // START in the current mode and wait until the run ends by itself.
    bool runToEnd(int ms = 8000)
    {
        form()->findChild<QPushButton *>("StartButton")->click();
        return waitUntil([] { return !app::MS.AnalyserRunning; }, ms) && waitUntil([] { return !audio::CaptureOpen(); });
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
