// The menu editor's window class and control identifiers: what other programs find it by.
#pragma once

namespace zel::editor {

inline constexpr char kEditorClass[] = "ZelvaneMenuEditor";

inline constexpr int IDC_TEXT = 100;  // the menu text
inline constexpr int IDC_SAVE = 101;
inline constexpr int IDC_RELOAD = 102;
inline constexpr int IDC_CHECK = 103;
inline constexpr int IDC_FINDINGS = 104;  // the checker's findings, one a line
inline constexpr int IDC_STATUS = 105;    // what the editor last did
inline constexpr int IDC_SAVEUTF8 = 106;  // "Save as UTF-8"

inline constexpr int IDM_SELECTALL = 110;

}  // namespace zel::editor
