// Power-averaged spectra (see powerspectra.h).
#include "measurement/powerspectra.h"

#include <algorithm>
#include <cmath>

namespace measure {

bool PowerSpectra::Run(const SpectrumSetup &setup, int averages, const std::function<void(int)> &onBlock)
{
    const std::size_t bins = static_cast<std::size_t>(setup.FftSize / 2);
    averages = std::max(averages, 1);
    sumLeft_.assign(bins, 0.0);
    sumRight_.assign(bins, 0.0);
    left_.assign(bins, 0.0f);
    right_.assign(bins, 0.0f);
    overloads_ = 0;
    SpectrumSetup one = setup;
    one.Averages = 1;
    for (int block = 0; block < averages; ++block) {
        if (onBlock)
            onBlock(block);
        if (!m_.Run(one))
            return false;
        overloads_ += m_.Overloads();
        for (std::size_t i = 0; i < bins; ++i) {
            sumLeft_[i] += double(m_.Left()[i]) * m_.Left()[i];
            sumRight_[i] += double(m_.Right()[i]) * m_.Right()[i];
        }
    }
    for (std::size_t i = 0; i < bins; ++i) {
        left_[i] = static_cast<float>(std::sqrt(sumLeft_[i] / averages));
        right_[i] = static_cast<float>(std::sqrt(sumRight_[i] / averages));
    }
    rate_ = m_.Rate();
    return true;
}

} // namespace measure
