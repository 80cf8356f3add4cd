#include "tray/prompt_layout.h"

namespace zel::tray {
namespace {

constexpr int kWindowWidth = 200;
constexpr int kWindowHeight = 100;
constexpr int kFontHeight = -11;

// At 96 DPI, in creation order.
constexpr std::array<ui::Box, kPromptControls> kBaseBoxes = {{
    {4, 18, 186, 21},   // the edit field
    {4, 4, 100, 13},    // the label
    {4, 44, 58, 20},    // "Ok"
    {62, 44, 58, 20},   // "Cancel"
    {170, 44, 20, 20},  // "..."
}};

}  // namespace

std::array<ui::Box, kPromptControls> PromptControlBoxes(unsigned dpi) {
  std::array<ui::Box, kPromptControls> boxes = kBaseBoxes;
  for (ui::Box& box : boxes) {
    // Edges scaled rather than widths, so that neighbours stay as close as they were.
    const int right = ui::Scaled(box.left + box.width, dpi);
    const int bottom = ui::Scaled(box.top + box.height, dpi);
    box.left = ui::Scaled(box.left, dpi);
    box.top = ui::Scaled(box.top, dpi);
    box.width = right - box.left;
    box.height = bottom - box.top;
  }
  return boxes;
}

ui::Box PromptWindowBox(int workRight, int workBottom, unsigned dpi) {
  const int width = ui::Scaled(kWindowWidth, dpi);
  const int height = ui::Scaled(kWindowHeight, dpi);
  return {workRight / 2 - width / 2, workBottom / 2 - height / 2, width, height};
}

int PromptFontHeight(unsigned dpi) { return ui::Scaled(kFontHeight, dpi); }

}  // namespace zel::tray
