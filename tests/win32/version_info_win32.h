// A binary's version resource, read the way the shell's property pages read it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zel::test {

class VersionInfo {
 public:
  explicit VersionInfo(const std::string& path);
  bool Loaded() const { return fixed_ != nullptr; }
  // The fixed part; all zero when the resource is missing.
  const VS_FIXEDFILEINFO& Fixed() const { return fixed_ != nullptr ? *fixed_ : empty_; }
  // A string of the U.S. English, Unicode table 040904b0; "<missing>" when absent.
  std::string String(const char* name) const;

 private:
  std::vector<char> data_;
  VS_FIXEDFILEINFO* fixed_ = nullptr;
  VS_FIXEDFILEINFO empty_ = {};
};

}  // namespace zel::test
