// Shared set-up of the UI tests: a headless backend per test and a clean application object.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/application.h"
#include "ui/controls.h"
#include "ui/forms.h"
#include "ui/headless/headless.h"

namespace orn::testing {

class UITest : public ::testing::Test {
 protected:
  void SetUp() override {
    Backend = std::make_unique<THeadlessBackend>();
    Application()->Reset();
  }
  void TearDown() override {
    Application()->Reset();
    Backend.reset();
  }
  std::unique_ptr<THeadlessBackend> Backend;
};

// A windowless control that fills everything it is allowed to draw on with Fill, marks its own
// (0, 0) with Mark and logs each paint.
class TProbeControl : public TGraphicControl {
 public:
  TProbeControl(TComponent* AOwner, TColor AFill, TColor AMark)
      : TGraphicControl(AOwner), Fill(AFill), Mark(AMark) {}
  TColor Fill;
  TColor Mark;
  int Paints = 0;

 protected:
  void Paint() override {
    ++Paints;
    Canvas().Brush().SetColor(Fill);
    Canvas().FillRect(Rect(-1000, -1000, 1000, 1000));  // far beyond the control
    Canvas().SetPixels(0, 0, Mark);
  }
};

}  // namespace orn::testing
