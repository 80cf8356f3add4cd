// Where the editor window's parts go at a DPI: its layout made for 96 DPI, taken to the DPI of
// the monitor it shows on, the buttons widened to their captions. Portable.
#pragma once

#include <array>
#include <cstddef>

#include "ui/dpi_scale.h"

namespace zel::editor {

// Save, Save as UTF-8, Reload, Check, left to right.
inline constexpr std::size_t kEditorButtons = 4;

struct EditorLayout {
  std::array<ui::Box, kEditorButtons> buttons;
  ui::Box status;
  ui::Box text;
  ui::Box findings;
};

// The parts in a client area of `width` by `height` pixels at `dpi`: the buttons in a row along
// the top, each 80 pixels wide at 96 DPI or wider where its caption (`captionWidths`, in pixels
// of the buttons' font) needs it; the status line after them; the findings list, 110 pixels high
// at 96 DPI, along the bottom; the text between. Nothing gets a negative size.
EditorLayout LayOutEditor(int width, int height, unsigned dpi,
                          const std::array<int, kEditorButtons>& captionWidths);

// The window's size when it opens (760 by 540 at 96 DPI), and the smallest the user can make it
// (420 by 300), at `dpi`; left and top are 0.
ui::Box EditorWindowSize(unsigned dpi);
ui::Box SmallestEditorSize(unsigned dpi);

// How far the findings list scrolls sideways at `dpi`: 2,000 pixels at 96 DPI.
int FindingsExtent(unsigned dpi);

// The fonts' heights at `dpi` (character heights, so negative, as CreateFont takes them): the
// controls' 11 pixels at 96 DPI, the text's 10 points.
int EditorUiFontHeight(unsigned dpi);
int EditorTextFontHeight(unsigned dpi);

}  // namespace zel::editor
