// Files that setup moved aside because something still had them in use (Explorer keeps the
// shell extension loaded): the old file under its name with a counter and this suffix, in the
// program's folder. Setup reads the suffix from here too.
#pragma once

namespace zel::tray {

inline constexpr wchar_t kLeftoverSuffix[] = L".zel-old";

// Deletes what setup set aside in this program's own folder; a file still in use stays for the
// next start.
void DeleteLeftovers();

}  // namespace zel::tray
