// A system for running entries without Windows: files, folders, short names and variables as a
// test sets them, and a log of what would be started, called and shown.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "launch/launcher.h"

namespace zel::test {

class FakeSystem final : public launch::LaunchSystem {
 public:
  struct Start {
    std::string application;
    std::string commandLine;
    std::string folder;
  };

  // The folders bare names are looked for in.
  std::vector<std::string> searchFolders = {"C:\\Tools", "C:\\Windows\\System32"};
  std::set<std::string> files;
  bool everyFileExists = false;  // every path but the folders' is a file
  std::set<std::string> folders;
  std::map<std::string, std::string> shortNames;
  std::map<std::string, std::string> variables;
  // One line per action: "start <command line>", "call <dll> <procedure> <argument count>",
  // "error <text>"; starts in full in `starts`.
  std::vector<std::string> log;
  std::vector<Start> starts;
  bool proceduresExist = true;

  std::string ExpandEnvironment(const std::string& text) override {
    std::string result = text;
    for (const auto& [name, value] : variables) {
      const std::string reference = "%" + name + "%";
      for (std::size_t at; (at = result.find(reference)) != std::string::npos;) {
        result.replace(at, reference.size(), value);
      }
    }
    return result;
  }
  // "%s" becomes the path, "%%" one percent sign.
  std::string FormatArguments(const std::string& format, const std::string& path) override {
    std::string result;
    for (std::size_t i = 0; i < format.size(); ++i) {
      if (format.compare(i, 2, "%s") == 0) {
        result += path;
        ++i;
      } else if (format.compare(i, 2, "%%") == 0) {
        result += '%';
        ++i;
      } else {
        result += format[i];
      }
    }
    return result;
  }
  std::string ShortPath(const std::string& path) override {
    const auto found = shortNames.find(path);
    return found == shortNames.end() ? path : found->second;
  }
  Object Find(const std::string& path) override {
    if (folders.count(path) != 0) return Object::Folder;
    return everyFileExists || files.count(path) != 0 ? Object::File : Object::None;
  }
  std::vector<std::string> SearchFolders() override { return searchFolders; }
  void ShowError(const std::string& text, const std::string&) override {
    log.push_back("error " + text);
  }
  void StartProgram(const std::string& application, const std::string& commandLine,
                    const std::string& folder) override {
    log.push_back("start " + commandLine);
    starts.push_back({application, commandLine, folder});
  }
  bool CallProcedure(const std::string& dll, const launch::DllCallPlan& plan) override {
    if (!proceduresExist) return false;
    log.push_back("call " + dll + " " + plan.procedure + " " +
                  std::to_string(plan.arguments.size()));
    return true;
  }
};

}  // namespace zel::test
