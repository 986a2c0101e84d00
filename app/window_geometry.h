#pragma once

// The window's arithmetic, in twips and single precision as the layout was drawn, and the
// conversion to the toolkit's logical pixels at the screen's logical resolution.
namespace app {

struct TwipsPoint {
  float left = 0, top = 0;
};

// The window's outer top-left at one third of the free space across and down (not centred).
// A window larger than the screen starts at the screen's edge, so its caption stays reachable.
TwipsPoint PlaceAtOneThird(float screen_width, float screen_height, float window_width, float window_height);

enum class WindowShowState { kNormal, kMinimized, kMaximized };

// What one call of the resize step does: grow the outer width, or else the outer height, to
// its limit and stop (the change raises the step again), or else fit the run log's height and
// the path boxes' width to the client area.
struct ResizeStep {
  enum class Action { kNothing, kSetOuterWidth, kSetOuterHeight, kFitControls };
  Action action = Action::kNothing;
  float outer_size = 0;      // kSetOuterWidth / kSetOuterHeight
  float list_height = 0;     // kFitControls
  float path_box_width = 0;  // kFitControls
};

// Minimized, the window is left alone; maximized, only the controls follow the client area,
// the window's size being the platform's.
ResizeStep Form_Resize(float outer_width, float outer_height, float client_width, float client_height,
                       WindowShowState state);

// Nearest logical pixel, for positions and sizes of controls.
int TwipsToPixels(float twips, float logical_dpi);
// The smallest pixel count that is not less than `twips`: a limit set in pixels must read back
// as at least the limit, or the resize step would grow the window for ever.
int TwipsToPixelsAtLeast(float twips, float logical_dpi);
float PixelsToTwips(int pixels, float logical_dpi);

}  // namespace app
