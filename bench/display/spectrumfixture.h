// A spectrum as the analyser would store it: a sine at 1 kHz with falling
// harmonics over a noise floor that rises towards low frequencies, for both
// channels, in dBFS. Seeded, so every run draws the same picture.
#pragma once

#include "display/diagramwindow.h"

#include <cmath>
#include <cstdint>
#include <random>

namespace benchfixture {

// Stores `bins` + 1 points (0 .. bins) of a spectrum at `rate` Hz into the diagram.
inline void StoreSpectrum(TDiagramm &d, int bins, double rate, unsigned seed = 7)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.0, 2.5);
    const double binHz = rate / 2.0 / bins;
    for (int i = 0; i <= bins; ++i) {
        const double f = i * binHz;
        auto level = [&](double floorDb, double fundamentalDb, double tilt) {
            double v = floorDb + noise(gen) + 12.0 * std::exp(-f / 150.0) + tilt * std::log10(1.0 + f / 1000.0);
            for (int h = 1; h <= 7; ++h) {
                const double fh = 1000.0 * h;
                const double peak = fundamentalDb - (h == 1 ? 0.0 : 55.0 + 6.0 * h);
                const double d = (f - fh) / binHz;
                // window main lobe of about three bins
                const double lobe = peak - 6.0 * d * d;
                if (lobe > v)
                    v = lobe;
            }
            // mains hum
            for (double fh : {50.0, 150.0}) {
                const double d = (f - fh) / binHz;
                v = std::max(v, -92.0 - 6.0 * d * d);
            }
            return v;
        };
        const float values[2] = {static_cast<float>(level(-128.0, -6.0, -4.0)),
                                 static_cast<float>(level(-121.0, -12.0, 3.0))};
        d.StorePoint(values, i, static_cast<float>(f));
    }
}

} // namespace benchfixture
