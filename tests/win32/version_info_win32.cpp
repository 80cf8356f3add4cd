#include "tests/win32/version_info_win32.h"

namespace zel::test {

VersionInfo::VersionInfo(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return;
  data_.resize(size);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, data_.data())) return;
  UINT length = 0;
  if (!::VerQueryValueA(data_.data(), "\\", reinterpret_cast<void**>(&fixed_), &length)) {
    fixed_ = nullptr;
  }
}

std::string VersionInfo::String(const char* name) const {
  if (data_.empty()) return "<missing>";
  char* text = nullptr;
  UINT length = 0;
  const std::string query = std::string("\\StringFileInfo\\040904b0\\") + name;
  if (!::VerQueryValueA(const_cast<char*>(data_.data()), query.c_str(),
                        reinterpret_cast<void**>(&text), &length) ||
      text == nullptr) {
    return "<missing>";
  }
  return text;
}

}  // namespace zel::test
