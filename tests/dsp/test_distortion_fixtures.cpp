// The committed wave files (fixtures/make_distortion_fixtures.py writes
// them, with no project code) read through libsndfile and the spectrum:
// each component the script put in comes back within 0.3 dB.
#include "dsp/fft.h"
#include "dsp/harmonics.h"
#include "dsp/intermodulation.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace dsp;
constexpr int kN = 16384;

// The first kN frames of a fixture, as a spectrum with window `window`.
std::vector<float> FixtureSpectrum(const char *name, int window, double &rate)
{
    const char *root = std::getenv("SONALYX_SOURCE_DIR");
    const std::string path = std::string(root ? root : ".") + "/tests/dsp/fixtures/" + name;
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path;
    std::vector<float> x(kN, 0.0f);
    if (!f)
        return x;
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(sf_readf_float(f, x.data(), kN), kN);
    sf_close(f);
    rate = info.samplerate;
    SpectrumTransform t;
    t.setWindow(window, kN);
    t.transform(x.data(), kN);
    x.resize(kN / 2);
    return x;
}

TEST(DistortionFixtures, ToneWithHarmonicsAtMinus70Minus90AndMinus110Db)
{
    for (int w : {kWindowBlackmanHarris, kWindowRifeVincent3}) {
        double rate = 0;
        const auto x = FixtureSpectrum("tone1k_harmonics.wav", w, rate);
        HarmonicSetup setup;
        const HarmonicReading r = AnalyseHarmonics(x.data(), kN, rate, w, setup);
        ASSERT_EQ(r.status, DistortionStatus::Ok);
        EXPECT_NEAR(r.fundamentalHz, 1000.0, 0.05);
        EXPECT_NEAR(r.fundamentalDbfs, -6.02, 0.3);
        EXPECT_NEAR(r.harmonic(2).levelDb, -70.0, 0.3);
        EXPECT_NEAR(r.harmonic(3).levelDb, -90.0, 0.3);
        EXPECT_NEAR(r.harmonic(4).levelDb, -110.0, 0.3);
        EXPECT_NEAR(r.thdDb, 10 * std::log10(1e-7 + 1e-9 + 1e-11), 0.3);
    }
}

TEST(DistortionFixtures, SmpteSignalWithSidebandsAtMinus60AndMinus70Db)
{
    double rate = 0;
    const auto x = FixtureSpectrum("smpte_sidebands.wav", kWindowRifeVincent3, rate);
    const ImdReading r = AnalyseImd(x.data(), kN, rate, kWindowRifeVincent3, DefaultTwoTone(TwoToneStandard::Smpte));
    ASSERT_EQ(r.status, DistortionStatus::Ok);
    EXPECT_NEAR(20 * std::log10(r.a1), 20 * std::log10(0.4), 0.3);
    EXPECT_NEAR(20 * std::log10(r.a2), -20.0, 0.3);
    const double expected[4] = {-60, -60, -70, -70};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(r.products[i].levelDb, expected[i], 0.3) << i;
    EXPECT_NEAR(r.imdDb, 10 * std::log10(2e-6 + 2e-7), 0.3);
}

} // namespace
