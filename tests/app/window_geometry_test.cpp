#include "app/window_geometry.h"

#include <gtest/gtest.h>

#include "app/window_layout.h"

namespace vantrel::test {
namespace {

using Action = app::ResizeStep::Action;
using app::WindowShowState;

TEST(PlacementTest, OneThirdOfTheFreeSpaceNotCentred) {
  const app::TwipsPoint at = app::PlaceAtOneThird(15360, 11520, 7785, 8700);
  EXPECT_FLOAT_EQ(at.left, 2525);
  EXPECT_FLOAT_EQ(at.top, 940);
  EXPECT_FLOAT_EQ(app::PlaceAtOneThird(15360, 11520, 15360, 11520).left, 0);
}

TEST(PlacementTest, AWindowLargerThanTheScreenKeepsItsCaptionOnIt) {
  const app::TwipsPoint at = app::PlaceAtOneThird(7000, 7000, 7785, 8700);
  EXPECT_FLOAT_EQ(at.left, 0);
  EXPECT_FLOAT_EQ(at.top, 0);
}

TEST(ResizeRuleTest, WidthFirstThenHeightEachOnItsOwnCall) {
  app::ResizeStep step = app::Form_Resize(5000, 3000, 4760, 2580, WindowShowState::kNormal);
  EXPECT_EQ(step.action, Action::kSetOuterWidth);
  EXPECT_FLOAT_EQ(step.outer_size, 7785);
  step = app::Form_Resize(7785, 3000, 7545, 2580, WindowShowState::kNormal);
  EXPECT_EQ(step.action, Action::kSetOuterHeight);
  EXPECT_FLOAT_EQ(step.outer_size, 5800);
  step = app::Form_Resize(7785, 5800, 7545, 5380, WindowShowState::kNormal);
  EXPECT_EQ(step.action, Action::kFitControls);
}

TEST(ResizeRuleTest, ControlsFollowTheClientArea) {
  // At the drawn size the run log keeps its height; the boxes widen to client width - 80.
  app::ResizeStep step = app::Form_Resize(7785, 8700, app::layout::kClientWidth, app::layout::kClientHeight,
                                          WindowShowState::kNormal);
  ASSERT_EQ(step.action, Action::kFitControls);
  EXPECT_FLOAT_EQ(step.list_height, app::layout::kList1.height);
  EXPECT_FLOAT_EQ(step.path_box_width, 7465);
  step = app::Form_Resize(20000, 12000, 19760, 11580, WindowShowState::kNormal);
  EXPECT_FLOAT_EQ(step.path_box_width, 19680);
  EXPECT_FLOAT_EQ(step.list_height, 11580 - 1725 - 60);
}

TEST(ResizeRuleTest, MinimizedIsLeftAloneAndMaximizedOnlyFitsTheControls) {
  EXPECT_EQ(app::Form_Resize(0, 0, 0, 0, WindowShowState::kMinimized).action, Action::kNothing);
  const app::ResizeStep step = app::Form_Resize(6000, 4000, 6000, 1000, WindowShowState::kMaximized);
  EXPECT_EQ(step.action, Action::kFitControls);
  EXPECT_FLOAT_EQ(step.list_height, 0);  // never negative on a tiny screen
  EXPECT_FLOAT_EQ(step.path_box_width, 5920);
}

TEST(PixelTest, FifteenTwipsAPixelAt100PercentAndHalfThatAt200) {
  EXPECT_EQ(app::TwipsToPixels(4410, 96), 294);
  EXPECT_EQ(app::TwipsToPixels(40, 96), 3);  // nearest, not truncated
  EXPECT_EQ(app::TwipsToPixels(4410, 192), 588);
  EXPECT_FLOAT_EQ(app::PixelsToTwips(519, 96), 7785);
  EXPECT_EQ(app::TwipsToPixels(100, 0), 7);  // an unknown resolution counts as 96 dpi
}

TEST(PixelTest, LimitsReadBackAsAtLeastTheLimitAtAnyResolution) {
  // Otherwise the resize step would ask for the limit again after every resize, for ever.
  for (float dpi : {72.0f, 96.0f, 110.0f, 120.0f, 144.0f, 168.0f, 192.0f, 250.0f}) {
    for (int limit : {app::layout::kMinOuterWidth, app::layout::kMinOuterHeight}) {
      const int pixels = app::TwipsToPixelsAtLeast(limit, dpi);
      EXPECT_GE(app::PixelsToTwips(pixels, dpi), limit) << dpi;
      EXPECT_LT(app::PixelsToTwips(pixels - 1, dpi), limit) << dpi;
    }
  }
}

}  // namespace
}  // namespace vantrel::test
