// Drives the real Editor.exe from outside: starts it with an argument text, reads and sets its
// controls through messages, presses its buttons and answers its message boxes.
#pragma once

#include <windows.h>

#include <string>

#include "tests/win32/tray/tray_driver.h"

namespace zel::test {

// Where the tests find the programs they start.
std::string BinaryPath(const std::string& relative);
std::string ReadBytes(const std::string& path);

class EditorProgram {
 public:
  // Starts `exe` as the tray program and the shell extension do: the quoted program name, one
  // space, the argument text. Waits until the menu file has been read.
  explicit EditorProgram(const std::string& argumentText = "",
                         const std::string& exe = BinaryPath("tools\\Editor.exe"));
  // The same with an argument text that may hold any character.
  explicit EditorProgram(const std::wstring& argumentText,
                         const std::string& exe = BinaryPath("tools\\Editor.exe"));
  ~EditorProgram();
  EditorProgram(const EditorProgram&) = delete;
  EditorProgram& operator=(const EditorProgram&) = delete;

  HWND window() const { return window_; }
  HWND Control(int id) const;
  DWORD pid() const { return process_.dwProcessId; }
  bool Running() const;
  bool WaitForExit(int milliseconds = 10000) const;

  // The whole text of a control (WM_GETTEXT, any length).
  std::string Text(int id) const;
  std::string Title() const;
  // The menu text's selected part.
  std::string SelectedText() const;
  // Replaces the menu text as typing would, marking it changed.
  void Type(const std::string& text) const;
  // Presses a button (Save, Reload, Check) without waiting.
  void Press(int id) const;
  // Waits until the status line holds `part`.
  bool WaitForStatus(const std::string& part, int milliseconds = 10000) const;

  // The message box or dialog (#32770) of this process, optionally by title.
  TopWindow WaitForDialog(const char* title = nullptr, int milliseconds = 10000) const;
  // Answers a message box with a button (IDOK, IDYES, IDNO, IDCANCEL) and waits until it goes.
  static void Answer(const TopWindow& dialog, int button);

 private:
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
};

// An editor that another program started: the first editor window that appears. Its process
// is ended at the end of the scope if it is still running.
class EditorWindow {
 public:
  EditorWindow();
  ~EditorWindow();
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  HWND window() const { return window_; }
  bool WaitForExit(int milliseconds = 10000) const;
  std::string Text() const;  // the menu text

 private:
  HWND window_ = nullptr;
  HANDLE process_ = nullptr;
};

}  // namespace zel::test
