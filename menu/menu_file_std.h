// Menu files on a native file system, through the C++ standard library.
#pragma once

#include "menu/menu_file.h"

namespace zel::menu {

class StdMenuFileAccess final : public MenuFileAccess {
 public:
  bool Exists(const std::string& path) override;
  std::unique_ptr<ByteSource> Open(const std::string& path) override;
};

}  // namespace zel::menu
