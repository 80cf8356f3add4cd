// A scratch folder for the Windows tests: under %TEMP%, with spaces in its name (paths with
// spaces are where quoting and short names matter), removed with everything in it.
#pragma once

#include <string>

namespace zel::test {

class TempFolder {
 public:
  explicit TempFolder(const std::string& stem = "zel test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // Each returns the full path of what it made.
  std::string Write(const std::string& name, const std::string& bytes) const;
  std::string Copy(const std::string& source, const std::string& name) const;  // "" on failure
  std::string MakeFolder(const std::string& name) const;

 private:
  std::string path_;
};

// Deletes a folder with all its files and folders.
void RemoveTree(const std::string& path);

}  // namespace zel::test
