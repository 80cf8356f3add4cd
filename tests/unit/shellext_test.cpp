// Registration against a registry that fails where it is told to. The keys and values
// themselves are checked in the real registry by tests/win32.
#include "shellext/registration.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace zel::shellext {
namespace {

constexpr char kClsid[] = "{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";

// Logs the key of every write and deletion it lets through; attempt `failAt` fails.
struct Registry final : RegistryAccess {
  explicit Registry(int failAt = -1) : failAt(failAt) {}
  bool SetValue(const RegistryWrite& write) override { return Let(write.key); }
  bool DeleteKey(const std::string& key) override { return Let(key); }
  bool Let(const std::string& key) {
    if (attempts++ == failAt) return false;
    log.push_back(key);
    return true;
  }
  int failAt;
  int attempts = 0;
  std::vector<std::string> log;
};

// Registering stops at the first failed write and keeps the earlier ones; unregistering tries
// every key all the same, last written first removed, so no key has subkeys left when its turn
// comes. Either fails when one step fails.
TEST(Registration, WritingStopsAtAFailureRemovingGoesOnInReverse) {
  Registry registered, removed;
  ASSERT_TRUE(Register(kClsid, "C:\\z.dll", registered));
  ASSERT_TRUE(Unregister(kClsid, removed));
  std::vector<std::string> keys = registered.log;
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  ASSERT_GT(keys.size(), 1u);
  EXPECT_EQ(removed.log, std::vector<std::string>(keys.rbegin(), keys.rend()));
  for (const bool registering : {true, false}) {
    const Registry& all = registering ? registered : removed;
    for (int failAt = 0; failAt < all.attempts; ++failAt) {
      Registry registry(failAt);
      EXPECT_FALSE(registering ? Register(kClsid, "C:\\z.dll", registry)
                               : Unregister(kClsid, registry));
      std::vector<std::string> expected = all.log;
      const auto failed = expected.begin() + failAt;
      expected.erase(failed, registering ? expected.end() : failed + 1);
      EXPECT_EQ(registry.log, expected) << registering;
      EXPECT_EQ(registry.attempts, registering ? failAt + 1 : all.attempts) << registering;
    }
  }
}

}  // namespace
}  // namespace zel::shellext
