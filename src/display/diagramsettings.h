// The diagram window's own section "DIAGPRIV" of the settings file: colours,
// text export separator, logarithmic axis and level stepping.
#pragma once

#include "display/diagramoptions.h"

#include <string>

namespace display {

// Reads the section into `options`; missing or unparsable values give the
// defaults (a colour stored as 1 also gives its default).
void ReadDiagramSettings(const std::string &fileName, DiagramOptions &options);

// Writes the section, keys in a fixed order, leaving the rest of the file as
// it was. Returns false when the file could not be written.
bool WriteDiagramSettings(const std::string &fileName, const DiagramOptions &options);

} // namespace display
