#include "settings/measurementstate.h"

namespace app {
MeasurementState MS;
} // namespace app
