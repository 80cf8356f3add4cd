// Lengths laid out at 96 DPI, the base at which a pixel is a pixel, taken to the DPI a window
// shows at, and windows kept on their monitor. Portable: the Windows layer asks the system for
// the DPI and the monitors, and moves the windows.
#pragma once

namespace zel::ui {

// The DPI of 100% scaling: lengths given for it are taken as they are.
inline constexpr unsigned kBaseDpi = 96;

// `pixels` at kBaseDpi, at `dpi`: rounded to the nearest pixel, halves away from zero, as the
// system's MulDiv rounds.
constexpr int Scaled(int pixels, unsigned dpi) {
  const long long product = static_cast<long long>(pixels) * dpi;
  const long long half = kBaseDpi / 2;
  return static_cast<int>(product >= 0 ? (product + half) / kBaseDpi
                                       : -((-product + half) / kBaseDpi));
}

// A window's place as the system moves windows: left and top edges, width and height.
struct Box {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Box&) const = default;
};

// `window` moved, and shrunk where it must be, to lie wholly inside `area` (a monitor's work
// area), as little moved as it can be.
constexpr Box FitInside(const Box& window, const Box& area) {
  Box fitted = window;
  if (fitted.width > area.width) fitted.width = area.width;
  if (fitted.height > area.height) fitted.height = area.height;
  if (fitted.left + fitted.width > area.left + area.width) {
    fitted.left = area.left + area.width - fitted.width;
  }
  if (fitted.top + fitted.height > area.top + area.height) {
    fitted.top = area.top + area.height - fitted.height;
  }
  if (fitted.left < area.left) fitted.left = area.left;
  if (fitted.top < area.top) fitted.top = area.top;
  return fitted;
}

}  // namespace zel::ui
