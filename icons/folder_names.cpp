#include "icons/folder_names.h"

#include <algorithm>

namespace zel::icons {
namespace {

constexpr std::size_t kMissesBeforeReading = 2;

// The folder of `path`: up to its last backslash, or empty for a drive's root ("X:").
std::wstring_view FolderOf(std::wstring_view path) {
  const std::size_t slash = path.rfind(L'\\');
  return slash == std::wstring_view::npos || slash < 3 ? std::wstring_view()
                                                       : path.substr(0, slash);
}

}  // namespace

bool FolderNames::Plain(std::wstring_view path) {
  if (path.size() < 4 || path[1] != L':' || path[2] != L'\\' ||
      !((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    return false;
  }
  for (std::size_t start = 3; start <= path.size();) {
    const std::size_t end = std::min(path.find(L'\\', start), path.size());
    const std::wstring_view part = path.substr(start, end - start);
    if (part.empty() || part == L"." || part == L".." || part.back() == L'.' ||
        part.back() == L' ' || part.find_first_of(L"*?\"<>|:/") != std::wstring_view::npos) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

std::uint64_t FolderNames::Key(std::wstring_view upperName) {
  std::uint64_t key = 14695981039346656037ull;
  for (const wchar_t c : upperName) {
    key = (key ^ static_cast<std::uint64_t>(c)) * 1099511628211ull;
  }
  return key;
}

bool FolderNames::Excludes(std::wstring_view path) const {
  if (!Plain(path)) return false;
  for (const Folder& folder : folders_) {
    const std::size_t length = folder.key.size();
    if (!folder.read || path.size() <= length + 1 || path.substr(0, length) != folder.key ||
        path[length] != L'\\') {
      continue;
    }
    const std::wstring_view rest = path.substr(length + 1);
    const std::wstring_view part = rest.substr(0, rest.find(L'\\'));
    // A part with a tilde may be a short name, which the names read leave out.
    if (part.find(L'~') == std::wstring_view::npos &&
        !std::binary_search(folder.names.begin(), folder.names.end(), Key(part))) {
      return true;
    }
  }
  return false;
}

void FolderNames::Missed(std::wstring_view path, std::wstring_view upper, bool folderMissing) {
  if (!Plain(path) || upper.size() != path.size()) return;
  // The folder that lacks what was looked for: the file's own, or one above a missing folder.
  std::wstring_view lacking = FolderOf(path);
  if (folderMissing) lacking = FolderOf(lacking);
  if (lacking.empty()) return;
  Folder& folder = At(lacking, upper.substr(0, lacking.size()));
  if (folder.read || ++folder.misses != kMissesBeforeReading) return;
  folder.read = read_(folder.path, folder.names);
  if (!folder.read) {
    folder.names.clear();
    return;
  }
  std::sort(folder.names.begin(), folder.names.end());
}

FolderNames::Folder& FolderNames::At(std::wstring_view path, std::wstring_view key) {
  for (Folder& folder : folders_) {
    if (folder.key == key) return folder;
  }
  folders_.push_back({std::wstring(path), std::wstring(key), 0, false, {}});
  return folders_.back();
}

}  // namespace zel::icons
