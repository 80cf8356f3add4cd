// What one menu build learns of folders from the files it does not find, so that the first menu
// of a file that names many missing programs need not look for each of them: a folder through
// which lookups missed twice is read once, and its names answer for every later path through it.
// Portable: the Windows layer reads folders and upper-cases names as the file system compares
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zel::icons {

class FolderNames {
 public:
  // Reads the names a folder ("C:\A\B", as written) holds, as keys (Key of each upper-cased
  // name); false when it cannot be read (gone, or not to be listed).
  using Reader = bool (*)(const std::wstring& folder, std::vector<std::uint64_t>& keys);
  explicit FolderNames(Reader read) : read_(read) {}

  // True when `path` (upper-cased) runs through a folder read that lacks its next part (a part
  // that may be a short name, with a "~", excepted).
  bool Excludes(std::wstring_view path) const;
  // After a lookup of `path` (as written, and `upper`-cased) found nothing; `folderMissing`: its
  // folder is not there either (ERROR_PATH_NOT_FOUND).
  void Missed(std::wstring_view path, std::wstring_view upper, bool folderMissing);

  // Only a path the file system reads as written is answered for: "X:\" and parts with no
  // wildcard, stream, "." or "..", trailing dot or blank, nor empty part.
  static bool Plain(std::wstring_view path);
  // A name's key (FNV-1a). Two names with one key only make a lookup happen.
  static std::uint64_t Key(std::wstring_view upperName);

 private:
  struct Folder {
    std::wstring path;  // as first written
    std::wstring key;   // upper-cased
    std::size_t misses = 0;
    bool read = false;
    std::vector<std::uint64_t> names;  // sorted keys
  };
  Folder& At(std::wstring_view path, std::wstring_view key);

  Reader read_;
  std::vector<Folder> folders_;  // a few per build: searched in order
};

}  // namespace zel::icons
