// The program's windows on the private PipeWire server (tests/pipewire/
// server): devices chosen by their stored node names; a capture at a rate
// the graph may not take is warned of after the analyser's THD+N line, and
// the stepped sweep's line names both resampled streams; at the graph's own
// rate nothing is said. Exits with 77 (skipped) without a server.
#include "analyser/analyserfixture.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "support/pipewireserver.h"

#include <QApplication>

namespace {

class PipeWireWindowTest : public analysertest::AnalyserTest {
protected:
    void startOnLoopback(const std::string &main, const std::string &more)
    {
        start("", "[MAIN]\nSPRACHE=E\nINDEVNAME=loop_source\nOUTDEVNAME=loop_sink\n" + main + more);
        ASSERT_EQ(audio::DeviceName('I', audio::GetInputDevice()), "Test loopback");
        ASSERT_EQ(audio::DeviceName('O', audio::GetOutputDevice()), "Test loopback");
    }
};

TEST_F(PipeWireWindowTest, TheAnalysersLineWarnsOfAResampledInputOnlyWhenItIs)
{
    startOnLoopback("", "[ANALYSE]\nTHDMESS=TRUE\n[FFT]\nSAMPLES=4096\n");
    audio::SetRates(96000, 96000);
    ASSERT_TRUE(runOnce());
    const QString resampled = diagram()->StatusText();
    EXPECT_TRUE(resampled.startsWith("THD+N: ")) << resampled.toStdString();
    EXPECT_TRUE(resampled.endsWith("  |  Warning: input resampled by the server (96000 Hz, graph at 48000 Hz)"))
        << resampled.toStdString();

    audio::SetRates(48000, 48000);
    ASSERT_TRUE(runOnce());
    const QString plain = diagram()->StatusText();
    EXPECT_TRUE(plain.startsWith("THD+N: ")) << plain.toStdString();
    EXPECT_FALSE(plain.contains("Warning")) << plain.toStdString();
}

TEST_F(PipeWireWindowTest, TheSweepsLineNamesBothResampledStreams)
{
    startOnLoopback("PAGE=1\n", "[WOB]\nSTARTMESS=100\nFROM=1000\nTO=3000\nSTEPS=2\nMETHODE=LIN\n");
    audio::SetRates(96000, 96000);
    child<QPushButton>("wobbelnBut")->click();
    ASSERT_TRUE(waitUntil([this] { return !form()->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested; }, 30000));
    EXPECT_EQ(diagram()->StatusText().toStdString(),
              "Warning: input resampled by the server (96000 Hz, graph at 48000 Hz); "
              "output resampled by the server (96000 Hz, graph at 48000 Hz)");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return pwserver::RunAllOrSkip();
}
