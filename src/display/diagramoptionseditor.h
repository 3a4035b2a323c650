// What the diagram window needs from its options dialog: load the record into
// the dialog, read the dialog's copy back, show the dialog. The dialog posts
// WM_DIAGRAM_OPTIONS to the diagram window after every change.
#pragma once

#include "display/diagramoptions.h"

namespace display {

class DiagramOptionsEditor {
public:
    virtual ~DiagramOptionsEditor() = default;
    virtual void LoadOptions(const DiagramOptions &options) = 0;
    virtual void GetOptions(DiagramOptions &options) const = 0;
    // Shows the dialog and brings it to the front.
    virtual void ShowEditor() = 0;
};

} // namespace display
