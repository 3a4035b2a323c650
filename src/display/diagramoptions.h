// The diagram window's options record and the X readout scale. The options
// record is exchanged whole with the options dialog, which keeps its own copy
// of the same layout; colours are 0x00BBGGRR values as the settings file
// stores them and are converted only where a painter needs them.
#pragma once

#include <cstdint>
#include <string>

namespace display {

// Colour defaults (0x00BBGGRR).
constexpr std::uint32_t kDefaultColCursor = 0x000000;  // black
constexpr std::uint32_t kDefaultColDiagram = 0xFFFF00; // aqua
constexpr std::uint32_t kDefaultColGrid = 0x00FFFF;    // yellow
constexpr std::uint32_t kDefaultColLine1 = 0xFF0000;   // blue
constexpr std::uint32_t kDefaultColLine2 = 0x0000FF;   // red
constexpr std::uint32_t kDefaultColLine3 = 0x008000;   // green
constexpr std::uint32_t kDefaultColMargin = 0xC0C0C0;  // silver
constexpr std::uint32_t kDefaultColText = 0x000000;    // black

// Difference curve modes of DiagramOptions::DifMode.
enum DifferenceMode : std::int32_t { DifNone = 0, DifK1MinusK2 = 1, DifK2MinusK1 = 2, DifK1PlusK2 = 3 };

struct DiagramOptions {
    std::uint8_t PeakK1 = 0;           // hold the peak of curve 1 in curve 3
    std::uint8_t PeakK2 = 0;           // hold the peak of curve 2 in curve 3
    std::uint8_t ResetPeakRequest = 0; // set by the dialog, consumed by ApplyOptions
    std::uint8_t ShowK1 = 1;
    std::uint8_t ShowK2 = 0;
    std::uint8_t MeasureFrequency = 0; // exactly one of the three is set
    std::uint8_t MeasureLevel = 1;
    std::uint8_t MeasureSlope = 0;
    std::uint8_t YStepAuto = 1;        // level buttons move to round multiples
    std::uint8_t LogX = 1;             // logarithmic frequency axis
    std::int32_t DifMode = DifNone;
    float YStep = 5.0f;                // dB per level-button click when not automatic
    float OptYMin = 0.0f;              // copies of the axis ranges
    float OptYMax = 0.0f;
    std::int32_t OptXMin = 0;          // Hz
    std::int32_t OptXMax = 0;
    std::uint32_t ColCursor = kDefaultColCursor;
    std::uint32_t ColDiagram = kDefaultColDiagram;
    std::uint32_t ColGrid = kDefaultColGrid;
    std::uint32_t ColLine1 = kDefaultColLine1;
    std::uint32_t ColLine2 = kDefaultColLine2;
    std::uint32_t ColLine3 = kDefaultColLine3;
    std::uint32_t ColMargin = kDefaultColMargin;
    std::uint32_t ColText = kDefaultColText;
    std::string Separator = ",";       // text export field separator, up to 255 characters

    // Curve 3 carries a peak hold or a difference.
    bool ThirdCurveShown() const { return PeakK1 || PeakK2 || DifMode != DifNone; }
    // Curve 3 is drawn against the right axis only when it holds the peak of curve 2.
    bool ThirdCurveOnRightAxis() const { return PeakK2 && !PeakK1 && DifMode == DifNone; }
};

// Readout scale of the X axis: readout = frequency * Factor + Offset, then Unit.
struct ScaleRecord {
    float Factor = 1.0f;
    float Offset = 0.0f;
    std::string Unit = "Hz"; // up to 255 characters
};

} // namespace display
