// The settings snapshot that the stream refill reads on the card's thread:
// two (frequency, level) settings published alternately, as fast as one
// writer can, while an unpaced stream of short buffers plays. Every buffer
// must be one setting or the other, never the frequency of one with the
// level of the other.
#include "audio/outputengine.h"
#include "support/audiotestsupport.h"

#include <thread>

using namespace audio;

namespace {

struct Pair {
    float freq;
    int levelDb;
};

// Whether x[n-1], x[n], x[n+1] lie on a sine of `p`: the three-term
// recurrence of its frequency and the amplitude the first two imply.
bool OnSine(const std::vector<double> &x, std::size_t n, const Pair &p, double rate)
{
    const double w = 2 * std::numbers::pi * p.freq / rate, a = std::pow(10.0, p.levelDb / 20.0);
    const double c = std::cos(w), s = std::sin(w);
    const double amplitude = std::sqrt(x[n] * x[n] - 2 * c * x[n] * x[n - 1] + x[n - 1] * x[n - 1]) / s;
    return std::abs(x[n + 1] - (2 * c * x[n] - x[n - 1])) < 1e-5 && std::abs(amplitude / a - 1) < 1e-3;
}

} // namespace

TEST(OutputSnapshot, EveryStreamBufferIsOneOfTwoAlternatingSettings)
{
    audiotest::SettingsScratch settings{"outputsnapshot"};
    audiotest::CardEngine card;
    card.start(48000, 32, 512); // 64 frames per buffer
    const Pair pairs[2] = {{1000.0f, -6}, {3000.0f, -20}};
    GeneratorSettings &g = Generator();
    g = GeneratorSettings{};
    g.Waveform = WaveSine;
    g.Loop = false;
    g.LevelL = g.LevelR = pairs[0].levelDb;
    ASSERT_EQ(StartOutput(g, -1.0, pairs[0].freq), 0);

    // This thread is the one writer while the UI thread only captures; the
    // card stops after it, however the test ends.
    struct Writer {
        audiotest::CardEngine &card;
        std::atomic<bool> stop{false};
        std::thread thread;
        ~Writer() { stop = true, thread.join(), card.stop(); }
    } writer{card, {}, {}};
    writer.thread = std::thread([&, settings = g]() mutable {
        for (int i = 1; !writer.stop; ++i) {
            settings.Frequency = pairs[i % 2].freq;
            settings.LevelL = settings.LevelR = pairs[i % 2].levelDb;
            UpdateOutputSettings(settings);
        }
    });
    std::vector<double> left, right;
    int switches = 0, last = -1;
    // A loaded machine may leave the writer waiting for a long while: capture
    // until the settings changed under the refill often enough, with rounds
    // to spare (each is a fraction of a second unpaced).
    constexpr int kSwitches = 50;
    for (int round = 0; round < 2000 && switches < kSwitches; ++round) {
        card.capture(24000, left, right);
        int unmatched = 0; // frames on no sine in a row: two at a buffer boundary
        for (std::size_t n = 1; n + 1 < left.size(); ++n) {
            int which = -1;
            for (int k = 0; k < 2; ++k)
                if (OnSine(left, n, pairs[k], 48000) && OnSine(right, n, pairs[k], 48000))
                    which = k;
            if (which < 0) {
                ASSERT_LE(++unmatched, 2) << "frame " << n << " of round " << round << " is on neither setting";
                continue;
            }
            unmatched = 0;
            switches += last >= 0 && which != last;
            last = which;
        }
    }
    EXPECT_GE(switches, kSwitches);
}
