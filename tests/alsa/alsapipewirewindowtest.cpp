// The window program's distortion readings on ALSA's "default" device (the
// ALSA backend, chosen by the name the settings keep for it) against the
// private PipeWire server of tests/pipewire/server, whose default sink loops
// back to its default source bit for bit at 48000 Hz and 16 bits: the
// analyser's harmonics line on the generator's tone, and the sweep page's
// distortion sweep against level. Exits with 77 (skipped) without a server.
//
// The loop's only error is the rounding of each played sample to 16 bits,
// undithered: for a tone many steps high, an error spread evenly over
// 0 .. rate/2 with the power q²/12 of a uniform error, q = 1/32768 of full
// scale. Re a full-scale sine (power 1/2) over a band of width B:
//   N(B) = 10 log10((q²/12) / (1/2)) + 10 log10(B / 24000 Hz) = -98.09 dB + ...
// and THD+N of a tone at L dBFS is N(B) - L.
#include "analyser/analyserfixture.h"

#include "app/distortionsweeprunner.h"
#include "audio/audioengine.h"
#include "audio/devices.h"
#include "audio/outputengine.h"
#include "audio/storeddevice.h"
#include "generator/wavegen.h"
#include "support/pipewireserver.h"

#include <QAction>
#include <QApplication>
#include <QRegularExpression>

#include <cmath>

namespace {

// N(B) above at 48000 Hz, for the band lowHz .. highHz.
double QuantisationDb(double lowHz, double highHz)
{
    const double q = 1.0 / 32768.0;
    return 10.0 * std::log10((q * q / 12.0) / 0.5) + 10.0 * std::log10((highHz - lowHz) / 24000.0);
}

class AlsaPipeWireWindow : public analysertest::AnalyserTest {
protected:
    // The program on ALSA's "default" both ways, at 48000 Hz and 16 bits.
    void startOnAlsaDefault(const std::string &main, const std::string &more)
    {
        start("", "[MAIN]\nSPRACHE=E\nINDEVNAME=default\nOUTDEVNAME=default\n" + main + more);
        ASSERT_EQ(audio::DeviceFamily('I', audio::GetInputDevice()), "ALSA");
        ASSERT_EQ(audio::DeviceFamily('O', audio::GetOutputDevice()), "ALSA");
        ASSERT_EQ(audio::StoredDeviceName('I', audio::GetInputDevice()), "default");
        ASSERT_EQ(audio::StoredDeviceName('O', audio::GetOutputDevice()), "default");
        audio::SetRates(48000, 48000);
        audio::SetBits(16, 16);
    }
    const display::ExtraCurve *curve(const std::string &name)
    {
        for (const display::ExtraCurve &c : app::Diagramm->ExtraCurves())
            if (c.Name == name)
                return &c;
        ADD_FAILURE() << "no curve " << name;
        return nullptr;
    }
};

// The generator plays 997 Hz at -6 dBFS into the loop; the harmonics line
// reads the fundamental on both inputs at -6 dBFS within 0.1 dB (the words
// come back as they were played), and THD+N at the rounding's N - L over
// the analyser's band (20 Hz .. 24 kHz) within 0.5 dB.
TEST_F(AlsaPipeWireWindow, TheHarmonicsLineReadsTheGeneratorsToneThroughTheLoop)
{
    startOnAlsaDefault("", "[FFT]\nSAMPLES=16384\nWIN=8\n[ANALYSE]\nFVON=20\n"
                           "[GEN]\nFGEN=997\nVOLL=-6\nVOLR=-6\nMODE=0\nBELOOP=0\n");
    child<QAction>("Harmonics1")->trigger();
    ASSERT_TRUE(child<QAction>("Harmonics1")->isChecked());
    app::Wavegen->findChild<QPushButton *>("Gstart")->click();
    ASSERT_TRUE(audio::OutputRunning());
    QTest::qWait(300); // the tone through the server's loop before the capture opens
    ASSERT_TRUE(runOnce());
    app::Wavegen->findChild<QPushButton *>("Gstop")->click();
    const QString line = diagram()->StatusText();
    ASSERT_TRUE(line.startsWith("Harmonics: ")) << line.toStdString();
    RecordProperty("statusline", line.toStdString());
    EXPECT_FALSE(line.contains("Warning")) << line.toStdString();
    const double thdn = QuantisationDb(20.0, 24000.0) + 6.0;
    for (int c = 0; c < 2; ++c) {
        const QString channel = line.section(" | ", c, c);
        SCOPED_TRACE(channel.toStdString());
        const auto level = QRegularExpression(R"((-?\d+\.\d\d)dBFS)").match(channel);
        ASSERT_TRUE(level.hasMatch());
        EXPECT_NEAR(level.captured(1).toDouble(), -6.0, 0.1);
        const auto n = QRegularExpression(R"(THD\+N (-?\d+\.\d)dB)").match(channel);
        ASSERT_TRUE(n.hasMatch());
        EXPECT_NEAR(n.captured(1).toDouble(), thdn, 0.5);
    }
    EXPECT_TRUE(messages.empty());
}

// The sweep page's distortion sweep against level (997 Hz, -50 to -10 dBFS
// in 20 dB steps, stereo) in the AES17 20 kHz band: each step's THD+N on
// both inputs is the rounding's N(19980 Hz) - L within 0.5 dB.
TEST_F(AlsaPipeWireWindow, TheSweepPagesDistortionSweepAgainstLevelReadsTheRoundingAtEveryStep)
{
    startOnAlsaDefault("PAGE=1\n", "[WOB]\nREFMESS=2\n[ANALYSE]\nAES17=20\n[LOGSWEEP]\nMETHOD=DISTORTION\n"
                                   "[DISTSWEEP]\nVS=LEVEL\nFREQUENCY=997\nFROMDB=-50\nTODB=-10\nSTEPDB=20\nSETTLE=100\n");
    child<QPushButton>("wobbelnBut")->click();
    ASSERT_TRUE(waitUntil([this] { return !form()->Sweep()->SweepBusy() && !app::MS.Sweep.StartRequested; }, 60000));
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    ASSERT_TRUE(form()->Sweep()->DistortionSweep()->HasResult());
    const double floorDb = QuantisationDb(20.0, 20000.0);
    for (const char *name : {"THD+N L", "THD+N R"}) {
        SCOPED_TRACE(name);
        const display::ExtraCurve *thdn = curve(name);
        ASSERT_NE(thdn, nullptr);
        ASSERT_EQ(thdn->FrequencyHz.size(), 3u);
        for (std::size_t k = 0; k < 3; ++k) {
            const double level = -50.0 + 20.0 * static_cast<double>(k);
            EXPECT_NEAR(thdn->FrequencyHz[k], level, 1e-9);
            EXPECT_NEAR(thdn->Values[k], floorDb - level, 0.5) << level;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return pwserver::RunAllOrSkip();
}
