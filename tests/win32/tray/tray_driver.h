// Drives the real tray program from outside: starts it, finds its windows, clicks its icon by
// posting the icon's callback message, reads its menus through a hook library and answers its
// message boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/win32/temp_folder_win32.h"

namespace zel::test {

// Polls `done` every 20 ms for up to `milliseconds`.
bool WaitFor(const std::function<bool()>& done, int milliseconds = 10000);

// The tests' scratch folders: spaces in their names, removed with everything in them.
using ScratchFolder = TempFolder;

// One item of a menu as the hook wrote it.
struct DumpedItem {
  int depth;
  std::string kind;  // item, sep, sub
  unsigned id;
  bool checked;
  std::string caption;
};

struct TopWindow {
  HWND handle = nullptr;
  std::string title;
  std::string text;  // a message box's text (its static control 0xFFFF)
};

class TrayProgram {
 public:
  // Starts `exe` in `currentFolder` (empty: the driver's) and waits for its main window.
  explicit TrayProgram(const std::string& exe, const std::string& currentFolder = "");
  ~TrayProgram();
  TrayProgram(const TrayProgram&) = delete;
  TrayProgram& operator=(const TrayProgram&) = delete;

  HWND window() const { return window_; }
  DWORD pid() const { return process_.dwProcessId; }
  bool Running() const;
  // Waits for the process to end; its exit code, or STILL_ACTIVE after the timeout.
  DWORD WaitForExit(int milliseconds = 10000) const;

  // Posts the icon's callback message with the given mouse message, waits for the popup and
  // returns its items as they were when it opened. The popup is left open.
  std::vector<DumpedItem> OpenMenu(UINT mouseMessage);
  // The popup window (#32768) of this process, or null.
  HWND PopupWindow() const;
  void CloseMenu();
  // Chooses the n-th selectable item (from 1) of the open popup with the keyboard.
  void ChooseWithKeys(int n);

  // The first visible dialog-class window (#32770) of this process, optionally by title.
  TopWindow FindDialog(const char* title = nullptr) const;
  TopWindow WaitForDialog(const char* title = nullptr, int milliseconds = 10000) const;

  // The prompt's controls, in creation order: edit, label, Ok, Cancel, "...".
  std::vector<HWND> Controls() const;

  // Lines that the hook writes inside the program: "brush\t<n>" and "font\t<class>\t<height>\t<face>".
  std::vector<std::string> InsideReport();

  // True when the shell holds an icon for this program (a NIM_MODIFY of it succeeds).
  bool HasTrayIcon() const;

 private:
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  HMODULE hookLibrary_ = nullptr;
  HHOOK hook_ = nullptr;
  std::string dumpPath_;
};

std::string WindowText(HWND window);
std::string ClassName(HWND window);
bool TrayIconExists(HWND owner);

// The user's menu file, written for a test and put back afterwards.
class MenuFileScope {
 public:
  explicit MenuFileScope(const std::string& bytes);
  ~MenuFileScope();
  static std::string Path();

 private:
  bool hadOne_ = false;
};

}  // namespace zel::test
