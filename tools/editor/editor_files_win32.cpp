#include "tools/editor/editor_files_win32.h"

#include <algorithm>

#include "menu/path_call_win32.h"
#include "menu/unique_handle_win32.h"

namespace zel::editor {
namespace {

bool Exists(const std::string& path) {
  return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('\\');
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

}  // namespace

std::string ErrorText(DWORD error) {
  char* message = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&message), 0, nullptr);
  std::string text = length != 0 && message != nullptr ? std::string(message, length) : "";
  if (message != nullptr) ::LocalFree(message);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "Unknown error.";
  return text + " (error " + std::to_string(error) + ")";
}

LoadedFile LoadMenuFile(const std::string& path) {
  LoadedFile result;
  if (path.empty()) {
    result.state = FileState::Refused;
    result.why = "The application-data folder, where the menu file lives, cannot be found.";
    return result;
  }
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return result;
    result.state = FileState::Refused;
    result.why = "The menu file " + path + " cannot be read: " + ErrorText(error);
    return result;
  }
  result.state = FileState::Refused;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    result.why = "A folder named " + path + " stands where the menu file belongs.";
    return result;
  }
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
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
  result.state = FileState::Read;
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
    UniqueFile file(::CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return fail("The temporary file cannot be written", ::GetLastError());
    if (!WriteAll(file.get(), bytes) || !::FlushFileBuffers(file.get())) {
      const DWORD error = ::GetLastError();
      file.reset();
      return fail("The temporary file cannot be written", error);
    }
  }
  if (replacing && !::CopyFileA(path.c_str(), backup.c_str(), FALSE)) {
    return fail("The previous version cannot be kept as " + backup, ::GetLastError());
  }
  if (!::MoveFileExA(temporary, path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return fail("The menu file " + path + " cannot be replaced", ::GetLastError());
  }
  return {};
}

ObjectInfo InspectObject(const std::string& path) {
  ObjectInfo info;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (path.empty() || attributes == INVALID_FILE_ATTRIBUTES) return info;
  info.exists = true;
  info.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::string full = PathCall([&](char* buffer, DWORD size) {
    return ::GetFullPathNameA(path.c_str(), size, buffer, nullptr);
  });
  const std::string base = full.empty() ? path : full;
  const std::string longForm = PathCall([&](char* buffer, DWORD size) {
    return ::GetLongPathNameA(base.c_str(), buffer, size);
  });
  const std::string shortForm = PathCall([&](char* buffer, DWORD size) {
    return ::GetShortPathNameA(base.c_str(), buffer, size);
  });
  // A long name with characters outside the ANSI code page comes back with "?" in it and
  // names nothing; only forms that lead to the object are offered.
  for (const std::string& form : {longForm, base, shortForm}) {
    if (form.empty() || !Exists(form)) continue;
    bool seen = false;
    for (const std::string& known : info.paths) seen = seen || known == form;
    if (!seen) info.paths.push_back(form);
  }
  return info;
}

}  // namespace zel::editor
