// Double-precision complex FFT for the long transforms of the log-sweep
// measurement (up to 2^20 points), beside the analyser's single-precision
// transform in fft.h, which stays as the analyser needs it.
//
// Own code rather than a library: the program links no FFT library (the
// FFTW package on the build machines serves the benchmarks only, and would
// bring its GPL to the program), and a sweep needs a handful of transforms
// whose cost is small beside the seconds the sweep plays. Stockham's
// self-sorting radix-4 form needs no bit-reversal pass and reads and writes
// its data in order, which keeps it quick on transforms far larger than the
// cache. Its twiddle factors come from a table filled once per size with
// cos/sin of each index (no recurrence), so the rounding error grows with
// log2 n only: about 2e-15 relative for 2^20 points.
//
// Conventions: forward X[k] = sum x[j] e^(-2 pi i jk/n), inverse
// x[j] = (1/n) sum X[k] e^(+2 pi i jk/n); bin k lies at k·rate/n Hz.
//
// Threads: one object belongs to one thread at a time (the transforms use
// its scratch buffer); only setSize() allocates.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace dsp {

class ComplexFft {
public:
    static constexpr int kMaxLog2 = 20;
    static constexpr std::size_t kMaxSize = std::size_t{1} << kMaxLog2;

    // True for a power of two from 2 to kMaxSize.
    static bool SupportedSize(std::size_t n) noexcept;
    // Smallest supported size that holds `n` points, or 0 when none does.
    static std::size_t SizeFor(std::size_t n) noexcept;

    ComplexFft() = default;
    explicit ComplexFft(std::size_t n) { setSize(n); }

    // Builds the twiddle table for `n` points (nothing when the size is
    // already set). Returns false, keeping the old size, for an unsupported n.
    bool setSize(std::size_t n);
    std::size_t size() const noexcept { return n_; }

    // In place on size() values; nothing happens while no size is set.
    void forward(std::complex<double> *data) noexcept;
    void inverse(std::complex<double> *data) noexcept;

private:
    template <bool Inverse>
    void transform(std::complex<double> *data) noexcept;

    std::size_t n_ = 0;
    std::vector<double> cos_, sin_; // n/2 entries: cos and sin of 2 pi k/n
    std::vector<std::complex<double>> scratch_; // the other buffer of each pass
};

} // namespace dsp
