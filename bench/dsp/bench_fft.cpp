// Times window + transform + magnitude for one channel at the four analyser
// sizes, next to FFTW's real transform doing the same work (window, r2c,
// magnitudes) in the same run, and relates the time to the block's duration
// at 48000 Hz.
#include "dsp/fft.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#if defined(SONALYX_FFTW_FLOAT) || defined(SONALYX_FFTW_DOUBLE)
#define SONALYX_HAVE_FFTW 1
#include <fftw3.h>
#endif

#if defined(SONALYX_FFTW_FLOAT)
using FftwReal = float;
using FftwComplex = fftwf_complex;
using FftwPlan = fftwf_plan;
#define FFTW_CALL(name) fftwf_##name
#elif defined(SONALYX_FFTW_DOUBLE)
using FftwReal = double;
using FftwComplex = fftw_complex;
using FftwPlan = fftw_plan;
#define FFTW_CALL(name) fftw_##name
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Best of several rounds of the mean time per call, in microseconds.
template <class F> double TimeMicros(F &&work)
{
    int calls = 1;
    for (;;) { // grow the round until it lasts about 20 ms
        const auto t0 = Clock::now();
        for (int i = 0; i < calls; ++i)
            work();
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        if (s > 0.02)
            break;
        calls *= 2;
    }
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        const auto t0 = Clock::now();
        for (int i = 0; i < calls; ++i)
            work();
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / calls;
        best = std::min(best, us);
    }
    return best;
}

} // namespace

int main()
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::printf("window (Blackman) + transform + magnitude, one channel, best of 7 rounds\n");
#if defined(SONALYX_FFTW_FLOAT)
    std::printf("FFTW: single-precision real transform (fftwf, FFTW_MEASURE)\n");
#elif defined(SONALYX_FFTW_DOUBLE)
    std::printf("FFTW: double-precision real transform (single not installed, FFTW_MEASURE)\n");
#endif
    std::printf("%7s %12s %12s %8s %14s %12s\n", "N", "own [us]", "FFTW [us]", "ratio",
                "block [ms]", "own/block");
    volatile float sink = 0;
    bool agree = true;
    for (int n : {2048, 4096, 8192, 16384}) {
        std::vector<float> input(n), work(n);
        for (float &v : input)
            v = u(rng);
        dsp::SpectrumTransform transform;
        transform.setWindow(dsp::kWindowBlackman, n);
        const double own = TimeMicros([&] {
            std::copy(input.begin(), input.end(), work.begin());
            transform.transform(work.data(), n);
            sink = sink + work[n / 4];
        });

        double fftw = NAN;
#ifdef SONALYX_HAVE_FFTW
        {
            FftwReal *in = FFTW_CALL(alloc_real)(n);
            FftwComplex *out = FFTW_CALL(alloc_complex)(n / 2 + 1);
            FftwPlan plan = FFTW_CALL(plan_dft_r2c_1d)(n, in, out, FFTW_MEASURE);
            const float *w = transform.windowTable();
            std::vector<float> mags(n / 2);
            const float scale = 1.0f / n;
            fftw = TimeMicros([&] {
                for (int i = 0; i < n; ++i)
                    in[i] = input[i] * w[i];
                FFTW_CALL(execute)(plan);
                for (int k = 0; k < n / 2; ++k)
                    mags[k] = float(std::sqrt(out[k][0] * out[k][0] + out[k][1] * out[k][1]) * scale);
                sink = sink + mags[n / 4];
            });
            // The two paths must agree, or the timing compares different work.
            std::copy(input.begin(), input.end(), work.begin());
            transform.transform(work.data(), n);
            double worst = 0;
            for (int k = 0; k < n / 2; ++k)
                worst = std::max(worst, double(std::fabs(work[k] - mags[k])));
            if (worst > 1e-5) {
                std::printf("FAILED: spectra differ by %g at N = %d\n", worst, n);
                agree = false;
            }
            FFTW_CALL(destroy_plan)(plan);
            FFTW_CALL(free)(out);
            FFTW_CALL(free)(in);
        }
#endif
        const double blockMs = 1000.0 * n / 48000.0;
        if (std::isnan(fftw))
            std::printf("%7d %12.2f %12s %8s %14.2f %12.5f\n", n, own, "-", "-", blockMs,
                        own / 1000.0 / blockMs);
        else
            std::printf("%7d %12.2f %12.2f %8.2f %14.2f %12.5f\n", n, own, fftw, own / fftw, blockMs,
                        own / 1000.0 / blockMs);
    }
#ifndef SONALYX_HAVE_FFTW
    std::printf("(FFTW not found at configure time: comparison column skipped)\n");
#endif
    return agree ? 0 : 2;
}
