// Shared by the analyser, sweep and oscilloscope benchmarks and the snapshot
// tool: the program's windows on a scratch settings file, offscreen, and a
// count of a page's next-block requests (WM_ANALYSER_NEXT by default) with the
// time of each.
#pragma once

#include "app/forms.h"
#include "app/mainform.h"
#include "widgets/messagebox.h"
#include "platform/runtime/messages.h"
#include "platform/runtime/utilities.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace analyserbench {

class NextCounter : public QObject {
public:
    QElapsedTimer clock;
    std::vector<qint64> times; // ns since clock start, one per request
    explicit NextCounter(unsigned message = platform::WM_ANALYSER_NEXT) : message_(message) { clock.start(); }
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (const auto *m = platform::AsWindowMessage(e); m && m->msg == message_) {
            times.push_back(clock.nsecsElapsed());
            if (loop_ && int(times.size()) >= until_)
                loop_->quit();
        }
        return false;
    }
    // Runs the event loop, as the program does, until `count` requests have come.
    void waitFor(int count)
    {
        if (int(times.size()) >= count)
            return;
        QEventLoop loop;
        loop_ = &loop;
        until_ = count;
        loop.exec();
        loop_ = nullptr;
    }

private:
    unsigned message_;
    QEventLoop *loop_ = nullptr;
    int until_ = 0;
};

// Runs the event loop for `ms` milliseconds.
inline void RunEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Writes the settings and creates the windows; false when they cannot start.
inline bool StartWindows(const QTemporaryDir &dir, const QByteArray &ini)
{
    const QString name = dir.path() + "/sonmain.ini";
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(ini);
    f.close();
    platform::SetSettingsFileName(name.toStdString());
    platform::SetMessageHandler([](const platform::MessageRequest &m) {
        std::fprintf(stderr, "message: %s\n", m.text.toLocal8Bit().constData());
    });
    if (!app::CreateWindows())
        return false;
    app::MainForm->show();
    return true;
}

} // namespace analyserbench
