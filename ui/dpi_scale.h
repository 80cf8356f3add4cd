// Lengths laid out at 96 DPI, the base at which a pixel is a pixel, taken to the DPI a window
// shows at. Portable: the Windows layer asks the system for the DPI and moves the windows.
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

}  // namespace zel::ui
