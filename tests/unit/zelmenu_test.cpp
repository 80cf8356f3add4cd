#include "tools/zelmenu/zelmenu_app.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include "tests/unit/fake_files.h"

namespace zel::tools::zelmenu {
namespace {

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Zelmenu(std::vector<std::string> args, test::FakeFiles& files,
            const std::string& defaultPath = "default/Menu.txt") {
  std::ostringstream out, err;
  const int status = RunZelmenu(args, out, err, files, defaultPath);
  return {status, out.str(), err.str()};
}

TEST(ZelmenuShow, JsonOfTheShellForm) {
  test::FakeFiles files;
  files.Put("m.txt", test::kExampleMenu);
  const Outcome run = Zelmenu({"show", "--form", "shell", "--selected", "C:\\Pics\\cat.jpg",
                           "--id-first", "100", "--json", "m.txt"},
                          files);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto doc = nlohmann::json::parse(run.out);
  EXPECT_EQ(doc["form"], "shell");
  EXPECT_EQ(doc["entryCount"], 4);
  EXPECT_EQ(doc["addedCount"], 7);
  const auto& items = doc["items"];
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0], (nlohmann::json{{"type", "entry"}, {"caption", "Notepad"}, {"id", 101},
                                      {"index", 0}, {"command", "notepad.exe"},
                                      {"arguments", ""}}));
  EXPECT_EQ(items[1], (nlohmann::json{{"type", "separator"}}));
  EXPECT_EQ(items[2]["type"], "submenu");
  EXPECT_EQ(items[2]["items"][1]["items"][0]["arguments"], "-r 90");
  EXPECT_EQ(items[2]["items"][1]["items"][0]["id"], 103);
  EXPECT_EQ(items[3]["command"], "Add");
}

TEST(ZelmenuShow, TrayFormByDefaultFromTheDefaultFile) {
  test::FakeFiles files;
  files.Put("default/Menu.txt", test::kExampleMenu);
  const Outcome run = Zelmenu({"show", "--json"}, files);
  ASSERT_EQ(run.status, 0);
  const auto doc = nlohmann::json::parse(run.out);
  EXPECT_EQ(doc["form"], "tray");
  EXPECT_FALSE(doc.contains("addedCount"));
  EXPECT_EQ(doc["items"][4]["items"][0]["caption"], "Bob's tool");
  EXPECT_EQ(doc["items"][4]["items"][0]["id"], 1036);
}

TEST(ZelmenuShow, BytesAreCarriedOneToOne) {
  test::FakeFiles files;
  files.Put("m.txt", "item 'Caf\xE9','\x80.exe'");
  const Outcome run = Zelmenu({"show", "--json", "m.txt"}, files);
  const auto doc = nlohmann::json::parse(run.out);
  EXPECT_EQ(doc["items"][0]["caption"], "Caf\u00e9");
  EXPECT_EQ(doc["items"][0]["command"], "\u0080.exe");
  EXPECT_EQ(BytesToUtf8(std::string("\0\x7f\xff", 3)), std::string("\0\x7f\xc3\xbf", 4));
}

TEST(ZelmenuShow, HumanTreeShowsIdentifiersAndEntries) {
  test::FakeFiles files;
  files.Put("m.txt", test::kExampleMenu);
  const Outcome run = Zelmenu({"show", "m.txt"}, files);
  EXPECT_NE(run.out.find("Folders >\n  Windows folder  [1035]  command \"explorer.exe\"  "
                         "arguments \"C:\\Windows\"\n"),
            std::string::npos)
      << run.out;
}

TEST(ZelmenuShow, MissingAndUnreadableFilesShowTheirItem) {
  test::FakeFiles files;
  files.PutUnreadable("locked.txt");
  const Outcome missing = Zelmenu({"show", "--json", "gone.txt"}, files);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(nlohmann::json::parse(missing.out)["items"][0],
            (nlohmann::json{{"type", "text"}, {"caption", "menu.txt not found"}}));
  EXPECT_NE(missing.err.find("not found"), std::string::npos);

  const Outcome locked = Zelmenu({"show", "--form", "shell", "--json", "locked.txt"}, files);
  EXPECT_EQ(locked.status, 1);
  const auto doc = nlohmann::json::parse(locked.out);
  EXPECT_EQ(doc["items"][0]["caption"], "menu.txt could not be read");
  EXPECT_EQ(doc["addedCount"], 0);
  EXPECT_NE(locked.err.find("access denied"), std::string::npos);
}

TEST(ZelmenuCheck, ExitStatusFollowsTheFindings) {
  test::FakeFiles files;
  files.Put("good.txt", "item 'A','a.exe'\r\n");
  files.Put("bad.txt", "item 'A','a.exe'\r\nitem 'Sepia','b.exe'\r\n");
  files.PutUnreadable("locked.txt");
  EXPECT_EQ(Zelmenu({"check", "good.txt"}, files).status, 0);
  const Outcome bad = Zelmenu({"check", "bad.txt"}, files);
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out.rfind("2: warning: ", 0), 0u) << bad.out;
  const Outcome locked = Zelmenu({"check", "locked.txt"}, files);
  EXPECT_EQ(locked.status, 1);
  EXPECT_EQ(locked.out.rfind("0: error: cannot read", 0), 0u) << locked.out;
  const Outcome gone = Zelmenu({"check", "gone.txt"}, files);
  EXPECT_EQ(gone.out.rfind("0: error: menu file not found", 0), 0u) << gone.out;
}

TEST(ZelmenuUsage, WrongOptionsExitWithTwo) {
  test::FakeFiles files;
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"frobnicate"},
      {"show", "--form", "desk"},
      {"show", "--form"},
      {"show", "--id-first", "x", "--form", "shell"},
      {"show", "--selected", "C:\\a.txt"},  // shell options without the shell form
      {"show", "a.txt", "b.txt"},
      {"check", "--json"},
  };
  for (const auto& args : wrong) {
    const Outcome run = Zelmenu(args, files);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
  }
}

}  // namespace
}  // namespace zel::tools::zelmenu
