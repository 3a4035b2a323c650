#include "app/measurementstate.h"

namespace app {
MeasurementState MS;
} // namespace app
