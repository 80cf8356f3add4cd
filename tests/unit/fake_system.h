// A system for running entries without Windows: files, folders, short names and variables as a
// test sets them, and a log of what would be started, called and shown.
#pragma once

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "launch/launcher.h"
#include "menu/argument_format.h"

namespace zel::test {

// Code page 932's lead bytes: ソ is 83 5C, 表 95 5C.
inline bool Cp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

class FakeSystem final : public launch::LaunchSystem {
 public:
  struct Start {
    std::string application, commandLine, folder;
  };

  // The folders bare names are looked for in.
  std::vector<std::string> searchFolders = {"C:\\Tools", "C:\\Windows\\System32"};
  std::set<std::string> files;
  bool everyFileExists = false;  // every path but the folders' is a file
  std::set<std::string> folders;
  // A path without an entry has no short name, as on a volume without them.
  std::map<std::string, std::string> shortNames;
  std::string currentFolder = "C:\\";  // what a path without a drive is full in
  LeadByteTest leadBytes = NoLeadBytes;
  std::map<std::string, std::string> variables;
  // One line per action: "start <command line>[ @<program file>][ in <folder>]",
  // "call <dll> <procedure> <argument count>", "error <text>"; starts also in `starts`.
  std::vector<std::string> log;
  std::vector<Start> starts;
  std::vector<launch::DllCallPlan> calls;
  TextKind kind = TextKind::Ansi;

  // The best-fit mapping of code page 1252 for the fullwidth forms U+FF01..U+FF5E of a UTF-8
  // text: the ASCII character they stand for, unless a letter or digit.
  std::string AnsiReading(const std::string& text) override {
    if (kind != TextKind::Utf8) return text;
    std::string reading;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
      const unsigned point =
          i + 2 < text.size() && at(0) == 0xEF ? 0xF000 | (at(1) & 0x3F) << 6 | (at(2) & 0x3F) : 0;
      if (point >= 0xFF01 && point <= 0xFF5E && (at(1) & 0xC0) == 0x80 &&
          std::isalnum(static_cast<int>(point - 0xFEE0)) == 0) {
        reading += static_cast<char>(point - 0xFEE0);
        i += 2;
      } else {
        reading += text[i];
      }
    }
    return reading;
  }

  std::string ExpandEnvironment(const std::string& text) override {
    return launch::ExpandReferences(text, [this](const std::string& name) {
      const auto found = variables.find(name);
      return found != variables.end() ? std::optional(found->second) : std::nullopt;
    });
  }
  // "%s" becomes the path, "%%" one percent sign.
  std::string FormatArguments(const std::string& format, const std::string& path) override {
    return menu::FormatWithText(format, path).text;
  }
  std::string ShortPath(const std::string& path) override {
    return shortNames.count(path) != 0 ? shortNames.at(path) : path;
  }
  std::string FullPath(const std::string& path) override {
    return path.size() > 1 && path[1] == ':' ? path : currentFolder + path;
  }
  std::string LongPath(const std::string& path) override {
    for (const auto& [name, shortName] : shortNames) {
      if (shortName == path) return name;
    }
    return path;
  }
  LeadByteTest LeadBytes() override { return leadBytes; }
  launch::Object Find(const std::string& path) override {
    using launch::Object;
    if (folders.count(path) != 0) return Object::Folder;
    return everyFileExists || files.count(path) != 0 ? Object::File : Object::None;
  }
  std::vector<std::string> SearchFolders() override { return searchFolders; }
  void ShowError(const std::string& text, const std::string&) override {
    log.push_back("error " + text);
  }
  void StartProgram(const std::string& application, const std::string& commandLine,
                    const std::string& folder) override {
    log.push_back("start " + commandLine + (application.empty() ? "" : " @" + application) +
                  (folder.empty() ? "" : " in " + folder));
    starts.push_back({application, commandLine, folder});
  }
  bool CallProcedure(const std::string& dll, const launch::DllCallPlan& plan) override {
    log.push_back("call " + dll + " " + plan.procedure + " " +
                  std::to_string(plan.arguments.size()));
    calls.push_back(plan);
    return true;
  }
};

}  // namespace zel::test
