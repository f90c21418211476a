// Painting what lies behind a windowless control: the parent's background and content, then
// the windowless siblings below the control in the stacking order, each at its own place.
#pragma once

#include "gfx/canvas.h"
#include "ui/controls.h"

namespace orn {

// Paints into Canvas (whose origin is the control's top-left corner) what the parent and the
// windowless siblings below Control show at the control's place. Nothing happens when the
// control or its parent is missing. While they paint, the parent and each sibling carry the
// csPaintCopy state.
void CopyParentBackground(TControl* Control, TCanvas& Canvas);

}  // namespace orn
