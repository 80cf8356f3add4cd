#include "menu/menu_file_std.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace zel::menu {
namespace {

class StdFileSource final : public ByteSource {
 public:
  explicit StdFileSource(std::FILE* file) : file_(file) {}
  ~StdFileSource() override { std::fclose(file_); }
  StdFileSource(const StdFileSource&) = delete;
  StdFileSource& operator=(const StdFileSource&) = delete;

  std::size_t Read(char* buffer, std::size_t capacity) override {
    errno = 0;
    const std::size_t n = std::fread(buffer, 1, capacity, file_);
    // A folder opens on POSIX systems and fails here, with EISDIR.
    if (n == 0 && std::ferror(file_)) throw MenuReadError(std::strerror(errno ? errno : EIO));
    return n;
  }

 private:
  std::FILE* file_;
};

}  // namespace

bool StdMenuFileAccess::Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

std::unique_ptr<ByteSource> StdMenuFileAccess::Open(const std::string& path) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw MenuReadError(std::strerror(errno ? errno : EIO));
  return std::make_unique<StdFileSource>(file);
}

}  // namespace zel::menu
