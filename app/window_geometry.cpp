#include "app/window_geometry.h"

#include <algorithm>
#include <cmath>

#include "app/window_layout.h"

namespace app {
namespace {

constexpr float kTwipsPerInch = 1440.0f;

float DpiOrDefault(float logical_dpi) { return logical_dpi > 0 ? logical_dpi : 96.0f; }

}  // namespace

TwipsPoint PlaceAtOneThird(float screen_width, float screen_height, float window_width, float window_height) {
  TwipsPoint at;
  at.left = std::max(0.0f, (screen_width - window_width) / 3.0f);
  at.top = std::max(0.0f, (screen_height - window_height) / 3.0f);
  return at;
}

ResizeStep Form_Resize(float outer_width, float outer_height, float client_width, float client_height,
                       WindowShowState state) {
  ResizeStep step;
  if (state == WindowShowState::kMinimized) return step;
  if (state == WindowShowState::kNormal) {
    if (outer_width < layout::kMinOuterWidth) {
      step.action = ResizeStep::Action::kSetOuterWidth;
      step.outer_size = layout::kMinOuterWidth;
      return step;
    }
    if (outer_height < layout::kMinOuterHeight) {
      step.action = ResizeStep::Action::kSetOuterHeight;
      step.outer_size = layout::kMinOuterHeight;
      return step;
    }
  }
  step.action = ResizeStep::Action::kFitControls;
  // A maximized window on a small screen may be lower than the limits: never a negative size.
  step.list_height = std::max(0.0f, client_height - static_cast<float>(layout::kList1.top) - layout::kListBottomGap);
  step.path_box_width = std::max(0.0f, client_width - static_cast<float>(layout::kPathBoxRightGap));
  return step;
}

int TwipsToPixels(float twips, float logical_dpi) {
  return static_cast<int>(std::lround(twips * DpiOrDefault(logical_dpi) / kTwipsPerInch));
}

int TwipsToPixelsAtLeast(float twips, float logical_dpi) {
  const float dpi = DpiOrDefault(logical_dpi);
  int pixels = static_cast<int>(std::ceil(twips * dpi / kTwipsPerInch));
  // Single precision may round the product below the exact value: step up until it reads back.
  while (PixelsToTwips(pixels, dpi) < twips) ++pixels;
  return pixels;
}

float PixelsToTwips(int pixels, float logical_dpi) {
  return static_cast<float>(pixels) * kTwipsPerInch / DpiOrDefault(logical_dpi);
}

}  // namespace app
