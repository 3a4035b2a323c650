// The oscilloscope's sample arrays: per stored point the time (or the
// horizontal value in X-Y operation) and both channels in divisions, with
// the readout factors of the block, and their export as text. Plain C++.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace display {

// Export result when no arrays exist.
constexpr int kNoScopeArraysError = 1000;

// Readout factors stored with the points; the last stored point sets them
// for the whole block.
struct ScopeReadout {
    bool Channel1 = true;       // voltage readout on channel 1 (else 2)
    float Position1 = 0.0f;     // divisions
    float Position2 = 0.0f;
    float VoltsPerDiv1 = 0.0f;  // volts per division
    float VoltsPerDiv2 = 0.0f;
};

class ScopeTraces {
public:
    // Allocates `count` zeroed points per array (a negative count as 0);
    // allocation failure ends the program like any other.
    void Setup(int count);
    // Stores point `index`; an index outside 0..Count-1 (a block captured
    // before the arrays shrank) is ignored.
    void StorePoint(int index, const ScopeReadout &readout, float x, float y2, float y1);

    bool HasArrays() const { return allocated_; }
    int Count() const { return static_cast<int>(x_.size()); }
    const float *X() const { return x_.data(); }
    const float *Y1() const { return y1_.data(); }
    const float *Y2() const { return y2_.data(); }
    const ScopeReadout &Readout() const { return readout_; }

    // One line per point: time in ms, channel 1 and channel 2 in mV (three
    // decimals each, position taken off), separated by `separator` ("\t" is
    // a TAB, "\n" CR LF), ending in CR LF; no header. The file is replaced
    // whole, as the diagram's export does. Returns 0, the I/O
    // error number, or kNoScopeArraysError.
    int SaveAsText(const std::string &fileName, const std::string &separator) const;

private:
    bool allocated_ = false;
    std::vector<float> x_, y1_, y2_;
    ScopeReadout readout_;
};

} // namespace display
