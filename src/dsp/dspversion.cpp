// Placeholder translation unit until the first DSP module lands.
namespace dsp { int LibraryVersion() { return 1; } }
