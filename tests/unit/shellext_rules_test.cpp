// The context-menu handler's decisions and the server's registry content, without COM.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "shellext/handler_rules.h"
#include "shellext/registration.h"

namespace zel::shellext {
namespace {

constexpr char kClsid[] = "{EBDF1F20-C829-11D1-8233-0020AF3E97A9}";

TEST(WantsSubmenu, NormalAndExploreGetItOtherLowBitsDoNot) {
  const struct {
    unsigned flags;
    bool wanted;
  } cases[] = {
      {0x0, true},                           // CMF_NORMAL
      {0x1, false},                          // CMF_DEFAULTONLY
      {0x2, false},                          // CMF_VERBSONLY
      {0x8, false},                          // CMF_NOVERBS
      {0x4, true},                           // CMF_EXPLORE
      {0x1 | 0x4, true},                     // default only, but exploring
      {0xF, true},                           // every low bit, CMF_EXPLORE among them
      {0xB, false},                          // every low bit but CMF_EXPLORE
      {0x10, true},                          // CMF_CANRENAME: above the low four bits
      {0x100 | 0x20, true},                  // CMF_EXTENDEDVERBS | CMF_NODEFAULT
      {0x100 | 0x1, false},                  // a high bit does not save CMF_DEFAULTONLY
      {0xFFFFFFF0u, true},
  };
  for (const auto& c : cases) EXPECT_EQ(WantsSubmenu(c.flags), c.wanted) << std::hex << c.flags;
}

TEST(ServesSelection, OneObjectWhosePathFitsIn260Characters) {
  const struct {
    unsigned count;
    std::size_t length;
    bool served;
  } cases[] = {
      {1, 14, true}, {1, 260, true}, {1, 261, false}, {1, 4000, false}, {1, 1, true},
      {1, 0, false},  // an empty name: a drop list without names counts as one
      {0, 0, false}, {2, 14, false}, {3, 0, false},   {0xFFFFFFFFu, 14, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ServesSelection(c.count, c.length), c.served) << c.count << " / " << c.length;
  }
}

TEST(ReportedCount, AddedItemsPlusOneWithinTheIdentifierRange) {
  const struct {
    unsigned added, first, last, reported;
  } cases[] = {
      {0, 100, 0x7FFF, 1},           // missing file: only the reserved offset 0
      {5, 100, 0x7FFF, 6},           // two entries, a separator, a submenu, a third entry
      {7, 100, 0x7FFF, 8},           // the example file on a picture
      {7, 100, 103, 4},              // a range of four identifiers: 100..103
      {7, 100, 100, 1},              // room for offset 0 only
      {7, 100, 99, 0},               // an empty range claims nothing
      {3, 0, 0xFFFFFFFFu, 4},        // a full 32-bit range does not overflow
      {70000, 100, 0x7FFFFFFFu, 0xFFFF},        // the HRESULT's code field holds 16 bits
      {0xFFFFFFFFu, 0, 0xFFFFFFFFu, 0xFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReportedCount(c.added, c.first, c.last), c.reported)
        << c.added << " in " << c.first << ".." << c.last;
  }
}

TEST(IsVerbString, HighWordSetMeansAString) {
  EXPECT_FALSE(IsVerbString(0));
  EXPECT_FALSE(IsVerbString(1));
  EXPECT_FALSE(IsVerbString(0xFFFF));
  EXPECT_TRUE(IsVerbString(0x10000));
  EXPECT_TRUE(IsVerbString(reinterpret_cast<std::uintptr_t>("open")));
}

TEST(EntryForOffset, OffsetKIsEntryKMinusOneAndNothingOutside) {
  menu::MenuTable table;
  table.Append("a.exe", "1");
  table.Append("b.exe", "2");
  table.Append("c.exe", "3");
  // A later, shorter build leaves old elements behind the table's valid part.
  table.EntryCount = 2;
  const struct {
    std::uintptr_t offset;
    const char* command;  // null: refused
  } cases[] = {
      {0, nullptr}, {1, "a.exe"}, {2, "b.exe"}, {3, nullptr}, {4, nullptr}, {0xFFFF, nullptr},
  };
  for (const auto& c : cases) {
    const menu::MenuData* entry = EntryForOffset(table, c.offset);
    if (c.command == nullptr) {
      EXPECT_EQ(entry, nullptr) << c.offset;
    } else {
      ASSERT_NE(entry, nullptr) << c.offset;
      EXPECT_EQ(entry->Command, c.command) << c.offset;
    }
  }
  EXPECT_EQ(EntryForOffset(menu::MenuTable{}, 1), nullptr);
}

TEST(CopyHelpText, WritesTheTextOnlyWhenItFits) {
  const struct {
    std::size_t capacity;
    bool copied;
  } cases[] = {{0, false}, {1, false}, {13, false}, {14, true}, {64, true}};
  for (const auto& c : cases) {
    std::vector<char> buffer(80, '#');
    EXPECT_EQ(CopyHelpText(buffer.data(), c.capacity), c.copied) << c.capacity;
    if (c.copied) {
      EXPECT_STREQ(buffer.data(), "Zelvane Menus");
      EXPECT_EQ(buffer[14], '#');  // nothing after the NUL
    } else {
      EXPECT_EQ(std::string(buffer.data(), 80), std::string(80, '#')) << c.capacity;
    }
  }
  EXPECT_FALSE(CopyHelpText(nullptr, 64));
}

TEST(ServerPath, ShortFormOnlyWhenTheFullPathHasASpace) {
  const struct {
    const char* full;
    const char* shortForm;
    const char* stored;
  } cases[] = {
      {"C:\\Zelvane\\zelshell.dll", "C:\\ZELVANE\\ZELSHELL.DLL", "C:\\Zelvane\\zelshell.dll"},
      {"C:\\Program Files\\App\\zelshell.dll", "C:\\PROGRA~1\\App\\zelshell.dll",
       "C:\\PROGRA~1\\App\\zelshell.dll"},
      // No short form to be had (8.3 names switched off): the full path still names the module.
      {"C:\\Program Files\\App\\zelshell.dll", "", "C:\\Program Files\\App\\zelshell.dll"},
  };
  for (const auto& c : cases) EXPECT_EQ(ServerPath(c.full, c.shortForm), c.stored) << c.full;
}

TEST(RegistrationWrites, FourValuesInOrder) {
  const std::vector<RegistryWrite> expected = {
      {"CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}", "", "Zelvane"},
      {"CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}\\InprocServer32", "", "C:\\z\\zelshell.dll"},
      {"CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}\\InprocServer32", "ThreadingModel",
       "Apartment"},
      {"AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu", "", kClsid},
  };
  EXPECT_EQ(RegistrationWrites(kClsid, "C:\\z\\zelshell.dll"), expected);
}

TEST(UnregistrationKeys, HandlerThenServerThenClassKey) {
  const std::vector<std::string> expected = {
      "AllFilesystemObjects\\shellex\\ContextMenuHandlers\\ZVMenu",
      "CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}\\InprocServer32",
      "CLSID\\{EBDF1F20-C829-11D1-8233-0020AF3E97A9}",
  };
  EXPECT_EQ(UnregistrationKeys(kClsid), expected);
}

// Records what registration does and fails the write or deletion it is told to.
class RecordingRegistry final : public RegistryAccess {
 public:
  explicit RecordingRegistry(int failAt = -1) : failAt_(failAt) {}
  bool SetValue(const RegistryWrite& write) override {
    if (static_cast<int>(attempts++) == failAt_) return false;
    written.push_back(write);
    return true;
  }
  bool DeleteKey(const std::string& key) override {
    if (static_cast<int>(attempts++) == failAt_) return false;
    deleted.push_back(key);
    return true;
  }

  std::size_t attempts = 0;
  std::vector<RegistryWrite> written;
  std::vector<std::string> deleted;

 private:
  int failAt_;
};

TEST(Register, StopsAtTheFirstFailedWriteKeepingEarlierOnes) {
  const auto all = RegistrationWrites(kClsid, "C:\\z.dll");
  for (int failAt = -1; failAt < 4; ++failAt) {
    RecordingRegistry registry(failAt);
    EXPECT_EQ(Register(kClsid, "C:\\z.dll", registry), failAt < 0) << failAt;
    const std::size_t kept = failAt < 0 ? 4u : static_cast<std::size_t>(failAt);
    EXPECT_EQ(registry.written, std::vector<RegistryWrite>(all.begin(), all.begin() + kept));
    EXPECT_EQ(registry.attempts, failAt < 0 ? 4u : kept + 1) << "no write after a failure";
  }
}

TEST(Unregister, TriesEveryKeyInOrderAndFailsWhenOneStays) {
  const auto all = UnregistrationKeys(kClsid);
  for (int failAt = -1; failAt < 3; ++failAt) {
    RecordingRegistry registry(failAt);
    EXPECT_EQ(Unregister(kClsid, registry), failAt < 0) << failAt;
    std::vector<std::string> gone = all;
    if (failAt >= 0) gone.erase(gone.begin() + failAt);
    EXPECT_EQ(registry.deleted, gone) << "the others are still deleted";
    EXPECT_TRUE(registry.written.empty());
  }
}

}  // namespace
}  // namespace zel::shellext
