// Registration against a registry that fails where it is told to. The keys and values
// themselves are checked in the real registry by tests/win32.
#include "shellext/registration.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zel::shellext {
namespace {

constexpr char kClsid[] = "{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";

// Logs "<place> <key>[=data]" for every write and deletion it lets through; from attempt
// `failFrom` on, each fails with 100 + its number.
struct Registry final : RegistryAccess {
  explicit Registry(int failFrom = -1) : failFrom(failFrom) {}
  long SetValue(Place place, const RegistryWrite& write) override {
    return Let(place, write.key + "=" + write.data);
  }
  long DeleteKey(Place place, const std::string& key) override { return Let(place, key); }
  long Let(Place place, const std::string& what) {
    const int attempt = attempts++;
    if (failFrom >= 0 && attempt >= failFrom) return 100 + attempt;
    log.push_back(std::string(place.machine ? "machine " : "user ") +
                  (place.otherView ? "other " : "own ") + what);
    return 0;
  }
  int failFrom;
  int attempts = 0;
  std::vector<std::string> log;
};

// Registering writes for the user, in the module's own view and, given the 64-bit library, in
// the other; it stops at the first failure. Unregistering removes from the user's and the
// machine's classes in both views, last written first, and goes on past failures. Either
// returns the first failure's code.
TEST(Registration, UserClassesFirstFailureSaidRemovingGoesOn) {
  Registry own, both, removed;
  EXPECT_EQ(Register(kClsid, "C:\\z.dll", "", own), 0);
  EXPECT_EQ(Register(kClsid, "C:\\z.dll", "C:\\z64.dll", both), 0);
  EXPECT_EQ(Unregister(kClsid, removed), 0);
  std::vector<std::string> keys;
  for (const std::string& line : own.log) {
    ASSERT_EQ(line.rfind("user own ", 0), 0u) << line;
    const std::string key = line.substr(9, line.find('=') - 9);
    if (keys.empty() || keys.back() != key) keys.push_back(key);
  }
  std::vector<std::string> other = own.log, gone;
  for (std::string line :
       own.log) {  // the same again, in the other view, naming the 64-bit library
    line.replace(0, 9, "user other ");
    if (const auto dll = line.find("z.dll"); dll != std::string::npos)
      line.replace(dll, 5, "z64.dll");
    other.push_back(line);
  }
  EXPECT_EQ(both.log, other);
  for (const char* place : {"user own ", "user other ", "machine own ", "machine other "}) {
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) gone.push_back(place + *key);
  }
  EXPECT_EQ(removed.log, gone);

  for (const bool registering : {true, false}) {
    const Registry& all = registering ? both : removed;
    for (int failFrom = 0; failFrom < all.attempts; ++failFrom) {
      Registry registry(failFrom);
      EXPECT_EQ(registering ? Register(kClsid, "C:\\z.dll", "C:\\z64.dll", registry)
                            : Unregister(kClsid, registry),
                100 + failFrom);
      EXPECT_EQ(registry.log,
                std::vector<std::string>(all.log.begin(), all.log.begin() + failFrom));
      EXPECT_EQ(registry.attempts, registering ? failFrom + 1 : all.attempts) << registering;
    }
  }
}

}  // namespace
}  // namespace zel::shellext
