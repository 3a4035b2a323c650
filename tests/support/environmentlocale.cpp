// Linked into the tests that also run under a German locale: the C library
// takes its locale from the environment before any test runs, as it does in
// the programs (Qt sets it on start). A test program without Qt would
// otherwise run in the "C" locale whatever the environment says.
#include <clocale>

namespace {
[[maybe_unused]] const bool kEnvironmentLocale = std::setlocale(LC_ALL, "") != nullptr;
} // namespace
