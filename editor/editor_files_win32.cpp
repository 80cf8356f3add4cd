#include "editor/editor_files_win32.h"

#include "win/code_page_win32.h"

#include <algorithm>

#include "win/code_page_win32.h"
#include "win/paths_win32.h"
#include "win/error_text_win32.h"
#include "win/unique_handle_win32.h"

namespace zel::editor {
namespace {

using win::ErrorText;

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = FindChar(path, "\\", win::AnsiLeadByte, /*last=*/true);
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

class Win32Replacer final : public FileReplacer {
 public:
  Result Replace(const std::string& path, const std::string& replacement,
                 const std::string& backup) override {
    if (::ReplaceFileA(path.c_str(), replacement.c_str(), backup.c_str(), 0, nullptr, nullptr)) {
      return {Outcome::Replaced, {}};
    }
    const DWORD error = ::GetLastError();
    // "The replacement file could not be moved": the old file already carries the backup's
    // name (ReplaceFile documentation).
    return {error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ? Outcome::OldFileMoved : Outcome::Failed,
            ErrorText(error)};
  }
  std::string Move(const std::string& from, const std::string& to) override {
    return ::MoveFileExA(from.c_str(), to.c_str(), 0) ? std::string() : ErrorText(::GetLastError());
  }
};

}  // namespace

LoadedFile LoadMenuFile(const std::string& path) {
  LoadedFile result;
  if (path.empty()) {
    result.state = menu::MenuFileState::Unreadable;
    result.why =
        "The application-data folder, where the menu file lives, cannot be found, or "
        "its name has characters this system's code page cannot hold and no short name.";
    return result;
  }
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return result;
    result.state = menu::MenuFileState::Unreadable;
    result.why = "The menu file " + path + " cannot be read: " + ErrorText(error);
    return result;
  }
  result.state = menu::MenuFileState::Unreadable;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    result.why = "A folder named " + path + " stands where the menu file belongs.";
    return result;
  }
  win::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    result.why = "The menu file " + path + " cannot be opened: " + ErrorText(::GetLastError());
    return result;
  }
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size)) {
    result.why = "The menu file " + path + " cannot be read: " + ErrorText(::GetLastError());
    return result;
  }
  if (static_cast<unsigned long long>(size.QuadPart) > kMaxMenuFileBytes) {
    result.why = DescribeProblem(TextProblem::TooLarge);
    return result;
  }
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr)) {
      result.why = "The menu file " + path + " cannot be read: " + ErrorText(::GetLastError());
      return result;
    }
    if (got == 0) break;
    bytes.append(buffer, got);
    // The file may grow while it is read; stop as soon as it is too large.
    if (bytes.size() > kMaxMenuFileBytes) break;
  }
  const TextProblem problem = CheckMenuBytes(bytes);
  if (problem != TextProblem::None) {
    result.why = DescribeProblem(problem);
    return result;
  }
  result.state = menu::MenuFileState::Read;
  result.bytes = std::move(bytes);
  return result;
}

std::string SaveMenuFile(const std::string& path, const std::string& bytes) {
  const std::string folder = FolderOf(path);
  if (folder.empty()) return "The menu file has no folder to be saved in.";
  if (!Exists(folder) && !::CreateDirectoryA(folder.c_str(), nullptr)) {
    return "The folder " + folder + " cannot be created: " + ErrorText(::GetLastError());
  }
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
  if (replacing && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return "A folder named " + path + " stands where the menu file belongs.";
  }
  // Checked here as well as by the replace below: a read-only file is a choice of the user,
  // and the file system lets some callers (an administrator, Wine as root) replace it anyway.
  if (replacing && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return "The menu file " + path + " is read-only. Clear its read-only attribute to save it.";
  }
  const std::string backup = path + ".bak";
  const DWORD backupAttributes = ::GetFileAttributesA(backup.c_str());
  if (replacing && backupAttributes != INVALID_FILE_ATTRIBUTES &&
      (backupAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    return "The previous version cannot be kept: " + backup +
           " is read-only or a folder. Clear its read-only attribute, or move it away, to save.";
  }

  char temporary[MAX_PATH] = {};
  // GetTempFileNameA creates the file, so the name is ours until it is moved or deleted.
  if (::GetTempFileNameA(folder.c_str(), "zel", 0, temporary) == 0) {
    return "No temporary file can be made in " + folder + ": " + ErrorText(::GetLastError());
  }
  const auto fail = [&](const std::string& what, DWORD error) {
    // Nothing else refers to the temporary file; a failed delete leaves only that file behind.
    ::DeleteFileA(temporary);
    return what + ": " + ErrorText(error);
  };
  {
    win::UniqueFile file(::CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return fail("The temporary file cannot be written", ::GetLastError());
    if (!WriteAll(file.get(), bytes) || !::FlushFileBuffers(file.get())) {
      const DWORD error = ::GetLastError();
      file.reset();
      return fail("The temporary file cannot be written", error);
    }
  }
  if (!replacing) {
    if (!::MoveFileExA(temporary, path.c_str(), MOVEFILE_WRITE_THROUGH)) {
      return fail("The menu file " + path + " cannot be created", ::GetLastError());
    }
    return {};
  }
  // The new file takes the old one's attributes (hidden, say): ReplaceFile merges them, and
  // its ACL, on Windows; set here as well, so that they are kept wherever ReplaceFile does not.
  // The result is not examined: a file without them is still the user's text.
  ::SetFileAttributesA(temporary, attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_NORMAL));
  Win32Replacer replacer;
  const std::string why =
      ReplaceKeepingBackup(replacer, path, temporary, backup, win::AnsiLeadByte);
  // Nothing else refers to the temporary file; the editor still holds its text.
  if (!why.empty()) ::DeleteFileA(temporary);
  return why;
}

}  // namespace zel::editor
