// The program's windows on a scratch settings file with an unpaced virtual
// loopback card; message boxes and file dialogs are answered by the test;
// posted requests counted, and the diagram's points read back.
#pragma once

#include "app/forms.h"
#include "app/analyserpage.h"
#include "app/mainform.h"
#include "app/scopepage.h"
#include "app/sweeppage.h"
#include "display/diagramwindow.h"
#include "widgets/filedialog.h"
#include "widgets/messagebox.h"
#include "platform/runtime/messages.h"
#include "platform/runtime/utilities.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace testsupport {

// LOOPBACK keys of an ideal card: played samples come back unchanged.
inline const std::string kIdealCard = "GAIN=0\nHIGHPASS=0\nLOWPASS=0\nDISTORTION=-200\nNOISE=-200\n";

// Counts the posted messages `msg` that reach the objects it filters.
class MessageCounter : public QObject {
    unsigned msg_;

public:
    int count = 0;
    explicit MessageCounter(unsigned msg) : msg_(msg) {}
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e); m && m->msg == msg_)
            ++count;
        return false;
    }
};

struct CurvePoint {
    float f, first, second;
};

// The points stored in the program's diagram: every point with a frequency.
inline std::vector<CurvePoint> DiagramPoints()
{
    const display::DiagramCurves &c = app::Diagramm->Curves();
    std::vector<CurvePoint> p;
    for (int i = 0; i < display::kMaxPoints && c.Freq()[i] != 0.0f; ++i)
        p.push_back({c.Freq()[i], c.Curve1()[i], c.Curve2()[i]});
    return p;
}

// Records the message boxes and questions, answers every question with
// `answerYes` and every file dialog with `nextFile`.
class DialogAnswers : public ::testing::Test {
protected:
    std::vector<platform::MessageRequest> messages;
    std::vector<platform::MessageRequest> questions;
    std::vector<platform::FileDialogRequest> fileDialogs;
    QString nextFile;
    bool answerYes = false;

    void SetUp() override
    {
        platform::SetMessageHandler([this](const platform::MessageRequest &m) { messages.push_back(m); });
        platform::SetQuestionHandler([this](const platform::MessageRequest &m) {
            questions.push_back(m);
            return answerYes;
        });
        platform::SetFileDialogHandler([this](const platform::FileDialogRequest &r) {
            fileDialogs.push_back(r);
            return nextFile;
        });
    }

    void TearDown() override
    {
        platform::SetMessageHandler({});
        platform::SetQuestionHandler({});
        platform::SetFileDialogHandler({});
        platform::SetSettingsFileName({});
    }
};

class AppWindowsTest : public DialogAnswers {
protected:
    std::string settings;

    // Creates and shows the windows. `loopback`: keys of section LOOPBACK
    // (PACED=FALSE unless the test paces the card, and SIGNAL=OFF unless the
    // test chooses a signal: the card's own test sine would be heard everywhere); `sections`:
    // the rest of the settings file.
    void start(const std::string &loopback, const std::string &sections = {})
    {
        settings = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "/sonmain.ini";
        const std::string silence = loopback.find("SIGNAL=") == std::string::npos ? "SIGNAL=OFF\n" : "";
        const std::string pace = loopback.find("PACED=") == std::string::npos ? "PACED=FALSE\n" : "";
        WriteFile(settings, "[LOOPBACK]\n" + pace + silence + loopback + sections);
        platform::SetSettingsFileName(settings);
        app::MS = app::MeasurementState{};
        ASSERT_TRUE(app::CreateWindows());
        app::MainForm->show();
        QTest::qWait(20);
    }

    // Closes the program's windows (as the user would) and destroys them, so
    // a test can start them again on other settings.
    void stop()
    {
        if (app::MainForm && app::MainForm->isVisible())
            app::MainForm->close();
        app::DestroyWindows();
        messages.clear();
    }

    void TearDown() override
    {
        stop();
        DialogAnswers::TearDown();
    }

    TMainForm *form() { return app::MainForm; }
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
};

} // namespace testsupport
