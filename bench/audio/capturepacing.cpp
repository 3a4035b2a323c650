// Chains of one-block captures from a paced virtual loopback card, the way the
// analyser runs: each completion finishes its block and starts the next
// capture. Prints the achieved duration of a chain divided by its nominal
// duration (frames / rate), and the overhead per block in milliseconds.
#include "audio/audioengine.h"
#include "audio/capture.h"
#include "audio/devices.h"
#include "audio/setupsoundinterface.h"
#include "audio/capturecompletions.h"
#include "platform/runtime/utilities.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>

#include <cstdio>

using namespace audio;

namespace {

struct Chain {
    int frames = 0;
    int left = 0;
    int failures = 0;
    QEventLoop *loop = nullptr;

    void next()
    {
        if (StartCapture(frames, 0, [this] { done(); }) != 0) {
            ++failures;
            loop->quit();
        }
    }
    void done()
    {
        int count, overloads;
        std::uint32_t user;
        if (!FinishCapture(count, overloads, user) || count != 2 * frames)
            ++failures;
        if (--left > 0)
            next();
        else
            loop->quit();
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    platform::SetSettingsFileName((dir.path() + "/sonmain.ini").toStdString());
    SetupSoundInterface(VirtualCardConfig::Ideal(true), false);
    Tdummy window;
    if (InitAudio() != 0)
        return 1;
    int numIn, numOut;
    std::uint32_t mask;
    DeviceReport(numIn, numOut, mask);
    SelectInputDevice(0);

    std::printf("%8s %7s %7s %10s %10s %8s %12s\n", "rate", "frames", "blocks", "nominal_s", "actual_s", "ratio",
                "ms_per_block");
    bool allDone = true;
    for (int rate : {44100, 48000, 96000}) {
        for (int frames : {512, 2048, 8192}) {
            SetRates(rate, 0);
            const int blocks = std::max(5, rate / frames); // about one second per chain
            QEventLoop loop;
            Chain chain;
            chain.frames = frames;
            chain.left = blocks;
            chain.loop = &loop;
            QElapsedTimer t;
            t.start();
            chain.next();
            loop.exec();
            const double actual = t.nsecsElapsed() * 1e-9;
            const double nominal = static_cast<double>(blocks) * frames / rate;
            std::printf("%8d %7d %7d %10.4f %10.4f %8.4f %12.3f%s\n", rate, frames, blocks, nominal, actual,
                        actual / nominal, (actual - nominal) * 1000.0 / blocks,
                        chain.failures ? "  (capture errors)" : "");
            // A paced card cannot deliver faster than real time: a chain that
            // ended early, or with errors, did not capture its blocks.
            if (chain.failures != 0 || chain.left != 0 || actual / nominal < 0.95)
                allDone = false;
        }
    }
    DoneAudio();
    if (!allDone)
        std::printf("FAILED: a chain did not capture all its blocks in real time\n");
    return allDone ? 0 : 2;
}
