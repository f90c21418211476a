// Shared set-up of the animation tests: one headless backend for the whole test program
// (timer workers may outlive a test by one sleep, so the services they use must stay), a
// wait that serves the GUI-thread queue, and small picture builders.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "gfx/bitmap.h"
#include "gif/gif_image.h"
#include "ui/headless/headless.h"

namespace orn::animtest {

THeadlessBackend& Backend();

// Serves the GUI-thread queue (on the calling GUI thread) until Done holds or TimeoutMs of
// real time pass; answers Done().
bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs = 5000);
// Serves the GUI-thread queue for Ms of real time.
void ServeFor(int Ms);

// A 32-bit bitmap of one colour.
std::unique_ptr<TBitmap> SolidBitmap(int Width, int Height, TColor Color);

// One frame of a test picture: a solid rectangle, optionally with a second colour in its
// top-left pixel (to give it a keyed area).
struct TFrameSpec {
  int Left = 0, Top = 0, Width = 1, Height = 1;
  TColor Color = clBlack;
  TColor KeyColor = clNone;
  int Disposal = 1;
  int DelayMs = 100;
  TColor CornerColor = clNone;  // colour of pixel (0, 0), clNone: same as Color
};

// A picture on a logical screen of Width x Height made of those frames, current frame 0.
std::unique_ptr<TGIFImage> MakeImage(int Width, int Height, const std::vector<TFrameSpec>& Frames,
                                     TColor BackColor = clNone);

}  // namespace orn::animtest
