#include "editor/editor_layout.h"

#include <algorithm>

namespace zel::editor {
namespace {

// At 96 DPI.
constexpr int kMargin = 6;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
// Room beside a caption inside its button: the button's edge and focus frame.
constexpr int kCaptionPadding = 16;
constexpr int kStatusDrop = 5;  // the status line's text sits level with the captions
constexpr int kFindingsHeight = 110;
constexpr int kFindingsExtent = 2000;
constexpr int kPointsPerInch = 72;
constexpr int kTextFontPoints = 10;
constexpr int kUiFontHeight = -11;
constexpr ui::Box kWindowSize = {0, 0, 760, 540};
constexpr ui::Box kSmallestWindowSize = {0, 0, 420, 300};

ui::Box ScaledSize(const ui::Box& size, unsigned dpi) {
  return {0, 0, ui::Scaled(size.width, dpi), ui::Scaled(size.height, dpi)};
}

}  // namespace

EditorLayout LayOutEditor(int width, int height, unsigned dpi,
                          const std::array<int, kEditorButtons>& captionWidths) {
  const int margin = ui::Scaled(kMargin, dpi);
  const int buttonHeight = ui::Scaled(kButtonHeight, dpi);
  EditorLayout layout;
  int x = margin;
  for (std::size_t i = 0; i < kEditorButtons; ++i) {
    const int buttonWidth = std::max(ui::Scaled(kButtonWidth, dpi),
                                     captionWidths[i] + ui::Scaled(kCaptionPadding, dpi));
    layout.buttons[i] = {x, margin, buttonWidth, buttonHeight};
    x += buttonWidth + margin;
  }
  const int drop = ui::Scaled(kStatusDrop, dpi);
  layout.status = {x + margin, margin + drop, std::max(width - x - 2 * margin, 0),
                   buttonHeight - drop};
  const int top = 2 * margin + buttonHeight;
  const int findingsHeight = ui::Scaled(kFindingsHeight, dpi);
  const int findingsTop = std::max(height - margin - findingsHeight, top);
  const int innerWidth = std::max(width - 2 * margin, 0);
  layout.text = {margin, top, innerWidth, std::max(findingsTop - margin - top, 0)};
  layout.findings = {margin, findingsTop, innerWidth, findingsHeight};
  return layout;
}

ui::Box EditorWindowSize(unsigned dpi) { return ScaledSize(kWindowSize, dpi); }

ui::Box SmallestEditorSize(unsigned dpi) { return ScaledSize(kSmallestWindowSize, dpi); }

int FindingsExtent(unsigned dpi) { return ui::Scaled(kFindingsExtent, dpi); }

int EditorUiFontHeight(unsigned dpi) { return ui::Scaled(kUiFontHeight, dpi); }

int EditorTextFontHeight(unsigned dpi) {
  // Rounded as MulDiv(points, dpi, 72) rounds.
  return -static_cast<int>((kTextFontPoints * dpi + kPointsPerInch / 2) / kPointsPerInch);
}

}  // namespace zel::editor
