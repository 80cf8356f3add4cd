// Registration against a registry that fails where it is told to. The keys and values
// themselves are checked in the real registry by tests/win32.
#include "shellext/registration.h"

#include <gtest/gtest.h>

namespace zel::shellext {
namespace {

// Logs "<place> <key>[:value]=data" for every write and "<place> <key>" for every deletion it
// lets through; from attempt `failFrom` on, each fails with 100 + its number.
struct Registry final : RegistryAccess {
  explicit Registry(int failFrom = 99) : failFrom(failFrom) {}
  long SetValue(Place place, const RegistryWrite& w) override {
    return Let(place, w.key + (w.valueName.empty() ? "" : ":" + w.valueName) + "=" + w.data);
  }
  long DeleteKey(Place place, const std::string& key) override { return Let(place, key); }
  long Let(Place place, const std::string& what) {
    if (attempts >= failFrom) return 100 + attempts++;
    ++attempts;
    log.push_back(std::string(place.machine ? "machine " : "user ") +
                  (place.otherView ? "other " : "own ") + what);
    return 0;
  }
  int failFrom, attempts = 0;
  std::vector<std::string> log;
};

const std::string kHandler = "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu";

std::vector<std::string> Writes(const std::string& place, const std::string& dll) {
  return {place + "CLSID\\{C}=Zelvane", place + "CLSID\\{C}\\InprocServer32=" + dll,
          place + "CLSID\\{C}\\InprocServer32:ThreadingModel=Apartment", place + kHandler + "={C}"};
}

// For the user, in the module's own view and, given the 64-bit library, in the other; the
// first failure stops it and is returned.
TEST(Registration, WritesForTheUserInEachViewUpToTheFirstFailure) {
  Registry own, both, failing(5);
  EXPECT_EQ(Register("{C}", "C:\\z.dll", "", own), 0);
  EXPECT_EQ(own.log, Writes("user own ", "C:\\z.dll"));
  EXPECT_EQ(Register("{C}", "C:\\z.dll", "C:\\z64.dll", both), 0);
  std::vector<std::string> other = Writes("user other ", "C:\\z64.dll");
  EXPECT_EQ(both.log, (std::vector<std::string>{own.log[0], own.log[1], own.log[2], own.log[3],
                                                other[0], other[1], other[2], other[3]}));
  EXPECT_EQ(Register("{C}", "C:\\z.dll", "C:\\z64.dll", failing), 105);
  EXPECT_EQ(failing.attempts, 6);
}

// From the user's and the machine's classes in both views, last written first, going on past
// failures; the first failure is returned.
TEST(Registration, RemovesLastWrittenFirstEverywherePastFailures) {
  Registry removed, failing(1);
  EXPECT_EQ(Unregister("{C}", removed), 0);
  std::vector<std::string> gone;
  for (const char* place : {"user own ", "user other ", "machine own ", "machine other "}) {
    for (const char* key : {kHandler.c_str(), "CLSID\\{C}\\InprocServer32", "CLSID\\{C}"}) {
      gone.push_back(place + std::string(key));
    }
  }
  EXPECT_EQ(removed.log, gone);
  EXPECT_EQ(Unregister("{C}", failing), 101);
  EXPECT_EQ(failing.attempts, 12);
}

}  // namespace
}  // namespace zel::shellext
