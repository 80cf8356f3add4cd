// Where the prompt window and its five controls go at a DPI: the layout made for 96 DPI, taken
// to the DPI of the monitor the prompt shows on. Portable.
#pragma once

#include <array>
#include <cstddef>

#include "ui/dpi_scale.h"

namespace zel::tray {

inline constexpr std::size_t kPromptControls = 5;

// The controls' places in the main window's client area, in creation order: the edit field,
// the label, "Ok", "Cancel" and "...".
std::array<ui::Box, kPromptControls> PromptControlBoxes(unsigned dpi);

// The prompt window (200 by 100 at 96 DPI), its middle where the halves of the work area's
// right and bottom edges meet: only those edges are used, halved with truncation.
ui::Box PromptWindowBox(int workRight, int workBottom, unsigned dpi);

// The prompt font's height (a character height, so negative, as CreateFont takes it): 11
// pixels at 96 DPI.
int PromptFontHeight(unsigned dpi);

}  // namespace zel::tray
