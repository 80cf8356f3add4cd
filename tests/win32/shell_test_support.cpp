#include "tests/win32/shell_test_support.h"
#include "win/code_page_win32.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <fstream>

#include "menu/menu_win32.h"
#include "win/unique_handle_win32.h"

// Last: this file defines the class identifier for the tests.
#include <initguid.h>
#include "shellext/class_id_win32.h"

namespace zel::shellext::test {

std::string ExeFolder() {
  char path[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string ShellDllPath() { return ExeFolder() + "zelshell.dll"; }
std::string ProbeDllPath() { return ExeFolder() + "zel_shell_probe.dll"; }

std::string FromUnixPath(const std::string& path) {
  std::string windows = "Z:" + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

std::string ShortPath(const std::string& path) {
  char shortPath[MAX_PATH + 1] = {};
  const DWORD length = ::GetShortPathNameA(path.c_str(), shortPath, sizeof(shortPath));
  return length > 0 && length < sizeof(shortPath) ? std::string(shortPath) : path;
}

std::string CurrentFolder() {
  char folder[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(sizeof(folder), folder);
  return folder;
}

// ---- registry

std::optional<std::string> ReadText(const std::string& key, const char* valueName) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  win::UniqueHkey owned(opened);
  char data[2048] = {};
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  if (::RegQueryValueExA(owned.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::nullopt;
  }
  return std::string(data);
}

bool KeyExists(const std::string& key) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(opened);
  return true;
}

std::vector<std::string> ValueNames(const std::string& key) {
  std::vector<std::string> names;
  HKEY opened = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return names;
  }
  win::UniqueHkey owned(opened);
  for (DWORD i = 0;; ++i) {
    char name[256] = {};
    DWORD length = sizeof(name);
    if (::RegEnumValueA(owned.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.emplace_back(name);
  }
  return names;
}

void RemoveRegistration() {
  // Results ignored: the keys may well be missing.
  ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kHandlerKey);
  ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey);
}

// ---- processes

DWORD RunAndWait(const std::string& commandLine) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  // Wine passes a child's output on to whatever the parent's is; NUL keeps it out of ctest's
  // pipes.
  win::UniqueHandleObject nul(::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                       OPEN_EXISTING, 0, nullptr));
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
  PROCESS_INFORMATION process = {};
  std::string line = commandLine;
  if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
    return 0xFFFFFFFF;
  }
  win::UniqueHandleObject processHandle(process.hProcess);
  win::UniqueHandleObject threadHandle(process.hThread);
  if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFF;
  ::GetExitCodeProcess(process.hProcess, &code);
  return code;
}

// ---- files

UserMenuFile::UserMenuFile() : path_(menu::GetMenuFilePath()) {
  const std::string folder = path_.substr(0, path_.find_last_of('\\'));
  ::CreateDirectoryA(folder.c_str(), nullptr);
  saved_ = path_ + ".saved-by-shell-test";
  ::DeleteFileA(saved_.c_str());
  hadOne_ = ::MoveFileA(path_.c_str(), saved_.c_str()) != 0;
}

UserMenuFile::~UserMenuFile() {
  Remove();
  if (hadOne_) ::MoveFileA(saved_.c_str(), path_.c_str());
}

void UserMenuFile::Set(const std::string& bytes) const {
  Remove();
  std::ofstream(path_, std::ios::binary) << bytes;
}

void UserMenuFile::Remove() const {
  ::DeleteFileA(path_.c_str());
  ::RemoveDirectoryA(path_.c_str());
}

void UserMenuFile::MakeUnreadable() const {
  Remove();
  ::CreateDirectoryA(path_.c_str(), nullptr);
}

// ---- COM

Registered::Registered(const std::string& dll) {
  RemoveRegistration();
  win::UniqueHmodule module(::LoadLibraryA(dll.c_str()));
  if (!module) return;
  const auto registerServer =
      GetExport<HRESULT(STDAPICALLTYPE*)()>(module.get(), "DllRegisterServer");
  if (registerServer != nullptr) result_ = registerServer();
}

DropData::DropData(std::vector<std::string> paths, bool wide, Offer offer)
    : paths_(std::move(paths)), wide_(wide), offer_(offer) {}

HRESULT STDMETHODCALLTYPE DropData::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
    *ppv = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DropData::Release() {
  const ULONG count = --refs_;
  if (count == 0) delete this;
  return count;
}

HRESULT STDMETHODCALLTYPE DropData::QueryGetData(FORMATETC* format) {
  return offer_ != Offer::Nothing && format != nullptr && format->cfFormat == CF_HDROP &&
                 (format->tymed & TYMED_HGLOBAL)
             ? S_OK
             : DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE DropData::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
  if (out != nullptr) out->ptd = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DropData::GetData(FORMATETC* format, STGMEDIUM* medium) {
  if (format == nullptr || medium == nullptr) return E_INVALIDARG;
  if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
  if (offer_ == Offer::DropInAStream) {
    // Not what was asked for, but a success: the receiver still owns the medium.
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return E_OUTOFMEMORY;
    lastStream_ = stream;  // a reference of our own
    medium->tymed = TYMED_ISTREAM;
    medium->pstm = stream;  // the receiver's reference
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  // DROPFILES, then every path with its NUL, then one more NUL (the drop list's layout).
  std::vector<char> names;
  for (const std::string& path : paths_) {
    if (wide_) {
      for (wchar_t c : win::FromUtf8(path)) {
        names.push_back(static_cast<char>(c & 0xFF));
        names.push_back(static_cast<char>(c >> 8));
      }
      names.push_back('\0');
      names.push_back('\0');
    } else {
      names.insert(names.end(), path.begin(), path.end());
      names.push_back('\0');
    }
  }
  names.push_back('\0');
  if (wide_) names.push_back('\0');
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
  if (memory == nullptr) return E_OUTOFMEMORY;
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = wide_;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size());
  ::GlobalUnlock(memory);
  medium->tymed = TYMED_HGLOBAL;
  medium->hGlobal = memory;
  medium->pUnkForRelease = nullptr;
  lastMedium_ = memory;
  return S_OK;
}

bool GlobalFreed(HGLOBAL memory) {
  ::SetLastError(0);
  return ::GlobalSize(memory) == 0 && ::GetLastError() == ERROR_INVALID_HANDLE;
}

namespace {

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());  // test paths are ASCII
}

struct ParsedItem {
  PIDLIST_ABSOLUTE absolute = nullptr;
  ~ParsedItem() { ::CoTaskMemFree(absolute); }
};

}  // namespace

ComPtr<IDataObject> ShellSelection(const std::vector<std::string>& paths) {
  std::vector<ParsedItem> items(paths.size());
  std::vector<PCUITEMID_CHILD> children;
  ComPtr<IShellFolder> parent;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (FAILED(::SHParseDisplayName(Wide(paths[i]).c_str(), nullptr, &items[i].absolute, 0,
                                    nullptr))) {
      return nullptr;
    }
    PCUITEMID_CHILD child = nullptr;
    if (i == 0) {
      if (FAILED(::SHBindToParent(items[i].absolute, IID_IShellFolder,
                                  reinterpret_cast<void**>(parent.GetAddressOf()), &child))) {
        return nullptr;
      }
    } else {
      child = ::ILFindLastID(items[i].absolute);
    }
    children.push_back(child);
  }
  ComPtr<IDataObject> data;
  if (FAILED(parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                                   IID_IDataObject, nullptr,
                                   reinterpret_cast<void**>(data.GetAddressOf())))) {
    return nullptr;
  }
  return data;
}

ComPtr<IContextMenu> ShellItemMenu(const std::string& path) {
  ParsedItem item;
  if (FAILED(::SHParseDisplayName(Wide(path).c_str(), nullptr, &item.absolute, 0, nullptr))) {
    return nullptr;
  }
  ComPtr<IShellFolder> parent;
  PCUITEMID_CHILD child = nullptr;
  if (FAILED(::SHBindToParent(item.absolute, IID_IShellFolder,
                              reinterpret_cast<void**>(parent.GetAddressOf()), &child))) {
    return nullptr;
  }
  ComPtr<IContextMenu> menu;
  if (FAILED(parent->GetUIObjectOf(nullptr, 1, &child, IID_IContextMenu, nullptr,
                                   reinterpret_cast<void**>(menu.GetAddressOf())))) {
    return nullptr;
  }
  return menu;
}

ComPtr<IContextMenu> NewHandler() {
  ComPtr<IContextMenu> handler;
  ::CoCreateInstance(CLSID_ZelvaneContextMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                     reinterpret_cast<void**>(handler.GetAddressOf()));
  return handler;
}

}  // namespace zel::shellext::test
