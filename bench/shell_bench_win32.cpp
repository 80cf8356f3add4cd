// How long the shell extension's QueryContextMenu takes for a 100-entry and a 10,000-entry
// menu file, against merely opening and reading the same file (the floor: every context menu
// reads the whole file). Runs under Wine, beside zelshell.dll; a plain std::chrono loop, since
// Google Benchmark has no mingw build here.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "menu/menu_win32.h"
#include "win/unique_handle_win32.h"

#include <initguid.h>
#include "shellext/class_id_win32.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string ExeFolder() {
  char path[MAX_PATH + 1] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

// Entries in submenus of 20, with separators, extension lists and a skipped submenu, as a
// real menu file has them.
std::string MakeMenu(int entries, const std::string& extensions) {
  std::string text = "// generated for the benchmark\r\n";
  int written = 0;
  while (written < entries) {
    text += "sub 'Group " + std::to_string(written) + "'\r\n";
    for (int i = 0; i < 20 && written < entries; ++i, ++written) {
      text += "item 'Tool " + std::to_string(written) +
              "','C:\\Program Files\\Tools\\tool.exe','/in %s /quiet','" + extensions + "'\r\n";
    }
    text += "csub 'Pictures','jpg,png'\r\nitem 'View','viewer.exe','%s'\r\ncend\r\nsep\r\nend\r\n";
  }
  return text;
}

// Nanoseconds per call of `work`, over at least half a second.
double TimePerCall(const std::function<void()>& work) {
  work();  // warm up
  long calls = 0;
  const Clock::time_point start = Clock::now();
  Clock::duration elapsed{};
  do {
    work();
    ++calls;
    elapsed = Clock::now() - start;
  } while (elapsed < std::chrono::milliseconds(500) || calls < 5);
  return std::chrono::duration<double, std::nano>(elapsed).count() / static_cast<double>(calls);
}

// A one-file CF_HDROP selection, enough for IShellExtInit::Initialize.
class OneFile final : public IDataObject {
 public:
  explicit OneFile(std::string path) : path_(std::move(path)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
      *ppv = this;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }   // lives on the stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                                   sizeof(DROPFILES) + path_.size() + 2);
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path_.c_str(), path_.size());
    ::GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  std::string path_;
};

void ReadWholeFile(const std::string& path) {
  zel::win::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  static char buffer[64 * 1024];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
  }
}

}  // namespace

int main() {
  if (FAILED(::CoInitialize(nullptr))) return 1;
  const std::string dll = ExeFolder() + "zelshell.dll";
  zel::win::UniqueHmodule module(::LoadLibraryA(dll.c_str()));
  if (!module) {
    std::printf("cannot load %s\n", dll.c_str());
    return 1;
  }
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto getClassObject = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  IContextMenu* handler = nullptr;
  IShellExtInit* init = nullptr;
  if (getClassObject(CLSID_ZelvaneContextMenu, IID_IClassFactory,
                     reinterpret_cast<void**>(&factory)) != S_OK ||
      factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&handler)) !=
          S_OK ||
      handler->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)) != S_OK) {
    std::printf("cannot create the handler\n");
    return 1;
  }
  OneFile selection("C:\\Documents\\notes.txt");
  init->Initialize(nullptr, &selection, nullptr);

  const std::string menuPath = zel::menu::GetMenuFilePath();
  const std::string saved = menuPath + ".saved-by-bench";
  ::CreateDirectoryA(menuPath.substr(0, menuPath.find_last_of('\\')).c_str(), nullptr);
  const bool hadOne = ::MoveFileA(menuPath.c_str(), saved.c_str()) != 0;

  WIN32_FILE_ATTRIBUTE_DATA attributes = {};
  ::GetFileAttributesExA(dll.c_str(), GetFileExInfoStandard, &attributes);
  std::printf("zelshell.dll: %lu bytes\n", static_cast<unsigned long>(attributes.nFileSizeLow));
  std::printf("%-22s %10s %16s %20s %8s\n", "entries", "file bytes", "read (floor) us",
              "QueryContextMenu us", "ratio");
  int status = 0;
  const struct {
    int entries;
    const char* extensions;
    const char* label;
  } files[] = {
      {100, "txt,log", "100"},
      {10000, "txt,log", "10000"},
      // Every line read and decided, but only submenus appended: the cost of the menu items.
      {10000, "doc", "10000, none for .txt"},
  };
  for (const auto& f : files) {
    const int entries = f.entries;
    const std::string text = MakeMenu(entries, f.extensions);
    std::ofstream(menuPath, std::ios::binary) << text;
    HRESULT last = S_OK;
    const double floor = TimePerCall([&] { ReadWholeFile(menuPath); });
    const double query = TimePerCall([&] {
      zel::win::UniqueHmenu menu(::CreatePopupMenu());
      last = handler->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL);
    });
    // Every entry that applies to notes.txt is counted, with offset 0.
    const bool allApply = std::strcmp(f.extensions, "txt,log") == 0;
    if (allApply && HRESULT_CODE(last) < entries + 1) status = 1;
    std::printf("%-22s %10zu %16.1f %20.1f %8.1f\n", f.label, text.size(), floor / 1000.0,
                query / 1000.0, query / floor);
  }
  ::DeleteFileA(menuPath.c_str());
  if (hadOne) ::MoveFileA(saved.c_str(), menuPath.c_str());
  init->Release();
  handler->Release();
  factory->Release();
  ::CoUninitialize();
  return status;
}
