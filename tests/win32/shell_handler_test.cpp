// The context-menu handler under real COM, with the test acting as the shell: selections
// from Wine's own shell and made by hand, menus built beside Wine's own item menu, help
// texts, entries run and observed, and many context menus open at once on two threads.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "menu/menu_tree.h"
#include "menu/menu_win32.h"
#include "win/unique_handle_win32.h"
#include "tests/unit/fake_files.h"
#include "tests/win32/shell_test_support.h"
#include "win/code_page_win32.h"

namespace zel::shellext::test {
namespace {

using menu::MenuNode;

// ---- what the entries the handler runs left behind

struct ProbeRecord {
  int id = 0;
  std::string text;
  std::string folder;
  DWORD thread = 0;
};

// Holds the probe DLL loaded so its log outlives the FreeLibrary after every call.
class ProbeLog {
 public:
  ProbeLog() : dll_(::LoadLibraryA(ProbeDllPath().c_str())) {
    take_ = GetExport<TakeFunction>(dll_.get(), "TakeProbes");
  }
  bool ready() const { return take_ != nullptr; }
  std::vector<ProbeRecord> Take() {
    std::vector<ProbeRecord> records;
    std::string log(1 << 20, '\0');
    const int length = take_(&log[0], static_cast<int>(log.size()));
    log.resize(static_cast<std::size_t>(length));
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
      ProbeRecord record;
      std::istringstream fields(line);
      std::string field;
      std::getline(fields, field, '|');
      record.id = std::atoi(field.c_str());
      std::getline(fields, record.text, '|');
      std::getline(fields, record.folder, '|');
      std::getline(fields, field, '|');
      record.thread = static_cast<DWORD>(std::strtoul(field.c_str(), nullptr, 10));
      records.push_back(record);
    }
    return records;
  }

 private:
  using TakeFunction = int(__stdcall*)(char*, int);
  win::UniqueHmodule dll_;
  TakeFunction take_ = nullptr;
};

// A menu-file line whose entry calls the probe with `id` and the selected object's short path.
std::string ProbeLine(const std::string& caption, int id, const std::string& extensions = "") {
  std::string line = "item '" + caption + "','DllProc','" + ProbeDllPath() + ",Probe," +
                     std::to_string(id) + ",%s'";
  if (!extensions.empty()) line += ",'" + extensions + "'";
  return line + "\r\n";
}

// ---- acting as the shell

struct Query {
  HRESULT result = E_FAIL;
  std::vector<MenuNode> tree;
};

Query QueryMenu(IContextMenu* handler, UINT first = 100, UINT last = 0x7FFF,
                UINT flags = CMF_NORMAL) {
  win::UniqueHmenu menu(::CreatePopupMenu());
  Query query;
  query.result = handler->QueryContextMenu(menu.get(), 0, first, last, flags);
  query.tree = menu::ReadMenuTree(menu.get());
  return query;
}

HRESULT Invoke(IContextMenu* handler, const char* verb) {
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof(info);
  info.lpVerb = verb;
  info.nShow = SW_SHOWNORMAL;
  return handler->InvokeCommand(&info);
}

HRESULT Invoke(IContextMenu* handler, UINT_PTR offset) {
  return Invoke(handler, MAKEINTRESOURCEA(offset));
}

HRESULT Initialize(IContextMenu* handler, IDataObject* data) {
  ComPtr<IShellExtInit> init;
  if (FAILED(handler->QueryInterface(IID_IShellExtInit,
                                     reinterpret_cast<void**>(init.GetAddressOf())))) {
    return E_NOINTERFACE;
  }
  return init->Initialize(nullptr, data, nullptr);
}

HRESULT InitializeWith(IContextMenu* handler, const std::vector<std::string>& paths,
                       bool wide = false) {
  ComPtr<DropData> data;
  data.Attach(new DropData(paths, wide));
  return Initialize(handler, data.Get());
}

// Records what the handler does with a data object: GetData calls and the medium it got.
class WatchedData final : public IDataObject {
 public:
  explicit WatchedData(ComPtr<IDataObject> inner) : inner_(std::move(inner)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
      *ppv = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    ++getDataCalls;
    const HRESULT result = inner_->GetData(format, medium);
    if (SUCCEEDED(result) && medium->tymed == TYMED_HGLOBAL) memory = medium->hGlobal;
    return result;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* f, STGMEDIUM* m) override {
    return inner_->GetDataHere(f, m);
  }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override { return inner_->QueryGetData(f); }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* a, FORMATETC* b) override {
    return inner_->GetCanonicalFormatEtc(a, b);
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* f, STGMEDIUM* m, BOOL r) override {
    return inner_->SetData(f, m, r);
  }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD d, IEnumFORMATETC** e) override {
    return inner_->EnumFormatEtc(d, e);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* f, DWORD a, IAdviseSink* s, DWORD* c) override {
    return inner_->DAdvise(f, a, s, c);
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD c) override { return inner_->DUnadvise(c); }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** e) override {
    return inner_->EnumDAdvise(e);
  }

  ULONG refs = 1;
  int getDataCalls = 0;
  HGLOBAL memory = nullptr;

 private:
  ComPtr<IDataObject> inner_;
};

bool HasItem(const std::vector<MenuNode>& tree, const std::string& caption) {
  for (const MenuNode& node : tree) {
    if (node.caption == caption && node.kind == MenuNode::Kind::Item) return true;
    if (HasItem(node.children, caption)) return true;
  }
  return false;
}

void CollectIds(const std::vector<MenuNode>& tree, std::vector<unsigned>& ids) {
  for (const MenuNode& node : tree) {
    if (node.kind == MenuNode::Kind::Item && node.id != 0) ids.push_back(node.id);
    CollectIds(node.children, ids);
  }
}

MenuNode Item(const std::string& caption, unsigned id) {
  MenuNode node;
  node.caption = caption;
  node.id = id;
  return node;
}

MenuNode Sep() {
  MenuNode node;
  node.kind = MenuNode::Kind::Separator;
  return node;
}

MenuNode Sub(const std::string& caption, std::vector<MenuNode> children) {
  MenuNode node;
  node.kind = MenuNode::Kind::Submenu;
  node.caption = caption;
  node.children = std::move(children);
  return node;
}

// A registered server, an apartment, the user's menu file and the probe, for one test.
class ShellHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(apartment_.result(), S_OK);
    ASSERT_EQ(registered_.result(), S_OK);
    ASSERT_TRUE(probe_.ready());
    startFolder_ = CurrentFolder();
  }
  void TearDown() override { ::SetCurrentDirectoryA(startFolder_.c_str()); }

  Apartment apartment_;
  Registered registered_;
  UserMenuFile menuFile_;
  ProbeLog probe_;
  TempFolder folder_;
  std::string startFolder_;
};

// ---- Initialize

// What a handler's selection is after a case, seen through the extension lists and the run.
enum class After { Unchanged, Empty, Path };

TEST_F(ShellHandler, InitializeServesOneObjectAndDeclinesTheRest) {
  // (An empty field '' would read as one quote: the arguments are "-".)
  menuFile_.Set(ProbeLine("Any", 1) + "item 'Log only','x.exe','-','log'\r\n" +
                "item 'Text only','x.exe','-','txt'\r\n");
  const std::string before = folder_.Write("before.log", "");
  const std::string oneFile = folder_.Write("one file.dat", "x");
  const std::string second = folder_.Write("second.dat", "x");
  const std::string folder = folder_.MakeFolder("a folder");
  // 260 characters fit; 261 do not. Neither exists, so neither is run.
  // A name outside the code page (UTF-8 here): served by its short name when it exists, and
  // declined when it has none, like a multiple selection.
  const std::string foreign = folder_.path() + "\\\xD0\x96 foreign.txt";
  ::CloseHandle(::CreateFileW(win::FromUtf8(foreign).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr));
  wchar_t foreignShort[MAX_PATH] = {};
  ASSERT_NE(::GetShortPathNameW(win::FromUtf8(foreign).c_str(), foreignShort, MAX_PATH), 0u);
  const std::string fits = "C:\\" + std::string(260 - 3 - 4, 'f') + ".txt";
  const std::string tooLong = "C:\\" + std::string(261 - 3 - 4, 'l') + ".txt";
  ASSERT_EQ(fits.size(), 260u);
  ASSERT_EQ(tooLong.size(), 261u);

  struct Case {
    const char* name;
    std::function<ComPtr<IDataObject>()> data;
    HRESULT result;
    After after;
    std::string path;       // for After::Path
    bool textOnly = false;  // for After::Path: the 'Text only' entry shows
  };
  using Offer = DropData::Offer;
  DropData* made = nullptr;  // the hand-made object of the current case
  const auto hand = [&made](std::vector<std::string> paths, bool wide = false,
                            Offer offer = Offer::Drop) {
    return [&made, paths, wide, offer]() {
      made = new DropData(paths, wide, offer);
      ComPtr<IDataObject> data;
      data.Attach(made);
      return data;
    };
  };
  const auto wine = [](std::vector<std::string> paths) {
    return [=]() { return ShellSelection(paths); };
  };
  const Case cases[] = {
      {"one file, Wine's selection", wine({oneFile}), S_OK, After::Path, oneFile},
      {"a folder, Wine's selection", wine({folder}), S_OK, After::Path, folder},
      {"two files, Wine's selection", wine({oneFile, second}), E_FAIL, After::Empty, ""},
      {"one file with spaces, by hand", hand({oneFile}), S_OK, After::Path, oneFile},
      {"one file, wide drop list", hand({oneFile}, true), S_OK, After::Path, oneFile},
      {"a name outside the code page", hand({foreign}, true), S_OK, After::Path,
       win::AnsiPathFor(foreignShort).value()},
      {"no ANSI name at all", hand({folder_.path() + "\\\xD0\x96 gone.txt"}, true), E_FAIL,
       After::Empty, ""},
      {"a folder, by hand", hand({folder}), S_OK, After::Path, folder},
      {"two files, by hand", hand({oneFile, second}), E_FAIL, After::Empty, ""},
      {"no file at all", hand({}), E_FAIL, After::Empty, ""},
      {"a path of 260 characters", hand({fits}), S_OK, After::Path, fits, true},
      {"a path of 261 characters", hand({tooLong}), E_FAIL, After::Empty, ""},
      {"a long path among two", hand({tooLong, oneFile}), E_FAIL, After::Empty, ""},
      {"no CF_HDROP", hand({oneFile}, false, Offer::Nothing), DV_E_FORMATETC, After::Unchanged,
       ""},
      {"CF_HDROP in a stream", hand({oneFile}, false, Offer::DropInAStream), E_FAIL,
       After::Unchanged, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ComPtr<IContextMenu> handler = NewHandler();
    ASSERT_NE(handler, nullptr);
    ASSERT_EQ(InitializeWith(handler.Get(), {before}), S_OK);

    made = nullptr;
    ComPtr<IDataObject> inner = c.data();
    ASSERT_NE(inner, nullptr);
    WatchedData watched(inner);
    EXPECT_EQ(Initialize(handler.Get(), &watched), c.result);
    EXPECT_EQ(watched.refs, 1u) << "no reference to the selection is kept";
    EXPECT_EQ(watched.getDataCalls, 1);
    if (watched.memory != nullptr) {
      EXPECT_TRUE(GlobalFreed(watched.memory)) << "medium released";
    }
    if (made != nullptr && made->lastStream() != nullptr) {
      made->lastStream()->AddRef();
      EXPECT_EQ(made->lastStream()->Release(), 1u) << "the stream medium was released";
    }

    const Query query = QueryMenu(handler.Get());
    EXPECT_EQ(HasItem(query.tree, "Log only"), c.after == After::Unchanged);
    EXPECT_EQ(HasItem(query.tree, "Text only"), c.textOnly);
    if (c.after == After::Path && c.path != fits) {
      EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), S_OK);
      const std::vector<ProbeRecord> records = probe_.Take();
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].text, ShortPath(c.path));
    }
  }
}

TEST_F(ShellHandler, InitializeWithoutADataObjectIsRefused) {
  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(Initialize(handler.Get(), nullptr), E_INVALIDARG);
}

// ---- QueryContextMenu

TEST_F(ShellHandler, FlagsDecideWhetherTheSubmenuIsAdded) {
  menuFile_.Set(ProbeLine("One", 1) + ProbeLine("Two", 2));
  const struct {
    const char* name;
    UINT flags;
    bool added;
  } cases[] = {
      {"CMF_NORMAL", CMF_NORMAL, true},
      {"CMF_DEFAULTONLY", CMF_DEFAULTONLY, false},
      {"CMF_VERBSONLY", CMF_VERBSONLY, false},
      {"CMF_NOVERBS", CMF_NOVERBS, false},
      {"CMF_EXPLORE", CMF_EXPLORE, true},
      {"CMF_DEFAULTONLY | CMF_EXPLORE", CMF_DEFAULTONLY | CMF_EXPLORE, true},
      {"CMF_EXTENDEDVERBS", CMF_EXTENDEDVERBS, true},
      {"CMF_EXTENDEDVERBS | CMF_NOVERBS", CMF_EXTENDEDVERBS | CMF_NOVERBS, false},
  };
  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(InitializeWith(handler.Get(), {folder_.Write("a.txt", "")}), S_OK);
  for (const auto& c : cases) {
    const Query query = QueryMenu(handler.Get(), 100, 0x7FFF, c.flags);
    if (c.added) {
      EXPECT_EQ(query.result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 3)) << c.name;
      EXPECT_EQ(query.tree, (std::vector<MenuNode>{Sub("Zelvane", {Item("One", 101),
                                                                   Item("Two", 102)})}))
          << c.name << menu::Describe(query.tree);
    } else {
      EXPECT_EQ(query.result, S_OK) << c.name;
      EXPECT_TRUE(query.tree.empty()) << c.name << menu::Describe(query.tree);
    }
  }
}

TEST_F(ShellHandler, CountsTreeAndIdentifiersOfTheBuiltMenu) {
  const std::string example = zel::test::kExampleMenu;
  const std::string twoSepSub = ProbeLine("First", 1) + ProbeLine("Second", 2) + "sep\r\n" +
                                "sub 'More'\r\n" + ProbeLine("Third", 3) + "end\r\n";
  const struct {
    const char* name;
    std::string file;  // empty: no menu file
    bool unreadable;
    const char* selected;
    UINT first;
    UINT last;
    HRESULT result;
    std::vector<MenuNode> items;
  } cases[] = {
      {"the example on a picture", example, false, "cat.jpg", 200, 0x7FFF, 8,
       {Item("Notepad", 201), Sep(),
        Sub("Folders", {Item("Windows folder", 202), Sub("Images", {Item("Rotate", 203)})}),
        Item("Add to...", 204)}},
      {"the example on a text file", example, false, "notes.txt", 7, 0x7FFF, 7,
       {Item("Notepad", 8), Item("Word count", 9), Sep(),
        Sub("Folders", {Item("Windows folder", 10)}), Item("Add to...", 11)}},
      {"two entries, a separator and a submenu", twoSepSub, false, "a.txt", 1000, 0x7FFF, 6,
       {Item("First", 1001), Item("Second", 1002), Sep(), Sub("More", {Item("Third", 1003)})}},
      {"no menu file", "", false, "a.txt", 100, 0x7FFF, 1, {Item("menu.txt not found", 0)}},
      {"a menu file that cannot be read", "", true, "a.txt", 100, 0x7FFF, 1,
       {Item("menu.txt could not be read", 0)}},
      // idCmdFirst 100 to idCmdLast 102: offset 0 and two entries, nothing above 102.
      {"a range too small for every entry", twoSepSub, false, "a.txt", 100, 102, 3,
       {Item("First", 101), Item("Second", 102), Sep(), Sub("More", {})}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.unreadable) {
      menuFile_.MakeUnreadable();
    } else if (c.file.empty()) {
      menuFile_.Remove();
    } else {
      menuFile_.Set(c.file);
    }
    ComPtr<IContextMenu> handler = NewHandler();
    ASSERT_EQ(InitializeWith(handler.Get(), {folder_.Write(c.selected, "")}), S_OK);
    const Query query = QueryMenu(handler.Get(), c.first, c.last);
    EXPECT_EQ(query.result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, c.result));
    EXPECT_EQ(query.tree, (std::vector<MenuNode>{Sub("Zelvane", c.items)}))
        << menu::Describe(query.tree);
  }
  menuFile_.Remove();
}

TEST_F(ShellHandler, SubmenuSitsBesideWinesOwnItemMenuInOneMenu) {
  menuFile_.Set(ProbeLine("One", 1) + "sep\r\n" + ProbeLine("Two", 2));
  const std::string file = folder_.Write("neighbour file.txt", "x");
  ComPtr<IContextMenu> wineMenu = ShellItemMenu(file);
  ASSERT_NE(wineMenu, nullptr);
  win::UniqueHmenu menu(::CreatePopupMenu());
  const HRESULT wineResult = wineMenu->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL);
  ASSERT_TRUE(SUCCEEDED(wineResult));
  const std::vector<MenuNode> wineItems = menu::ReadMenuTree(menu.get());
  ASSERT_GE(wineItems.size(), 2u) << menu::Describe(wineItems);
  const UINT first = 1 + HRESULT_CODE(wineResult);

  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(Initialize(handler.Get(), ShellSelection({file}).Get()), S_OK);
  const UINT index = 1;  // between Wine's first and second item
  const HRESULT result = handler->QueryContextMenu(menu.get(), index, first, 0x7FFF, CMF_NORMAL);
  EXPECT_EQ(result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 4));

  const std::vector<MenuNode> tree = menu::ReadMenuTree(menu.get());
  ASSERT_EQ(tree.size(), wineItems.size() + 1) << menu::Describe(tree);
  EXPECT_EQ(tree[0], wineItems[0]);
  EXPECT_EQ(tree[1], Sub("Zelvane", {Item("One", first + 1), Sep(), Item("Two", first + 2)}))
      << menu::Describe(tree);
  for (std::size_t i = 1; i < wineItems.size(); ++i) EXPECT_EQ(tree[i + 1], wineItems[i]);
  std::vector<unsigned> wineIds;
  CollectIds(wineItems, wineIds);
  for (unsigned id : wineIds) EXPECT_LT(id, first) << "Wine's identifiers stay below ours";

  // The identifier the shell sees leads back to the entry: offset = identifier - first.
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{(first + 2) - first}), S_OK);
  const std::vector<ProbeRecord> records = probe_.Take();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].id, 2);
  EXPECT_EQ(records[0].text, ShortPath(file));
}

TEST_F(ShellHandler, AMenuThatCannotTakeTheSubmenuFailsWithoutThrowing) {
  menuFile_.Set(ProbeLine("One", 1));
  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(InitializeWith(handler.Get(), {folder_.Write("a.txt", "")}), S_OK);
  HMENU gone = ::CreatePopupMenu();
  ::DestroyMenu(gone);
  EXPECT_EQ(handler->QueryContextMenu(gone, 0, 100, 0x7FFF, CMF_NORMAL), E_FAIL);
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), E_INVALIDARG) << "no entry was built";
}

// ---- GetCommandString

TEST_F(ShellHandler, HelpTextOnlyForOffsetZeroAndOnlyWhereItFits) {
  ComPtr<IContextMenu> handler = NewHandler();
  const struct {
    const char* name;
    UINT_PTR idCmd;
    UINT type;
    UINT cchMax;
    HRESULT result;
    const char* written;  // null: the buffer stays untouched
  } cases[] = {
      {"help text for offset 0", 0, GCS_HELPTEXTA, 64, S_OK, "Zelvane Menus"},
      {"help text in exactly 14 bytes", 0, GCS_HELPTEXTA, 14, S_OK, "Zelvane Menus"},
      {"help text in 13 bytes", 0, GCS_HELPTEXTA, 13, E_INVALIDARG, nullptr},
      {"help text in no bytes", 0, GCS_HELPTEXTA, 0, E_INVALIDARG, nullptr},
      {"help text for offset 1", 1, GCS_HELPTEXTA, 64, E_INVALIDARG, nullptr},
      {"wide help text", 0, GCS_HELPTEXTW, 64, S_OK, nullptr},
      {"verb", 0, GCS_VERBA, 64, S_OK, nullptr},
      {"validate", 0, GCS_VALIDATEA, 64, S_OK, nullptr},
      {"verb for offset 2", 2, GCS_VERBA, 64, E_INVALIDARG, nullptr},
  };
  for (const auto& c : cases) {
    char buffer[80];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(handler->GetCommandString(c.idCmd, c.type, nullptr, buffer, c.cchMax), c.result)
        << c.name;
    if (c.written != nullptr) {
      EXPECT_STREQ(buffer, c.written) << c.name;
      EXPECT_EQ(buffer[14], '#') << c.name;
    } else {
      EXPECT_EQ(std::string(buffer, sizeof(buffer)), std::string(sizeof(buffer), '#')) << c.name;
    }
  }
  EXPECT_EQ(handler->GetCommandString(0, GCS_HELPTEXTA, nullptr, nullptr, 64), E_POINTER);
}

// ---- InvokeCommand

// Reads what the recorder program wrote, waiting for it to appear.
std::vector<std::string> WaitForRecord(const std::string& path) {
  std::vector<std::string> lines;
  for (int tries = 0; tries < 200 && lines.size() < 2; ++tries) {
    std::ifstream in(path);
    std::string line;
    lines.clear();
    while (std::getline(in, line)) lines.push_back(line);
    if (lines.size() < 2) ::Sleep(50);
  }
  return lines;
}

TEST_F(ShellHandler, AnOffsetRunsItsEntryOnTheShortPath) {
  menuFile_.Set(ProbeLine("One", 11) + ProbeLine("Two", 22) + ProbeLine("Three", 33));
  folder_.MakeFolder("with spaces");
  const std::string file = folder_.Write("with spaces\\the file.txt", "x");
  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(Initialize(handler.Get(), ShellSelection({file}).Get()), S_OK);
  ASSERT_EQ(QueryMenu(handler.Get()).result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 4));
  // A DLL procedure runs in the host's process and sees the host's current folder.
  for (const UINT_PTR offset : {2, 3, 1}) {
    EXPECT_EQ(Invoke(handler.Get(), offset), S_OK);
    const std::vector<ProbeRecord> records = probe_.Take();
    ASSERT_EQ(records.size(), 1u) << offset;
    EXPECT_EQ(records[0].id, static_cast<int>(11 * offset));
    EXPECT_EQ(records[0].text, ShortPath(file));
    EXPECT_NE(records[0].text, file) << "the short form is passed";
    EXPECT_EQ(records[0].folder, startFolder_);
  }
}

TEST_F(ShellHandler, OffsetsOutsideTheEntriesAndVerbStringsRunNothing) {
  const std::string recorder = FromUnixPath(ZEL_RECORDER_PATH);
  const std::string records = folder_.MakeFolder("records");
  ASSERT_TRUE(::SetEnvironmentVariableA("ZEL_RECORD_DIR", records.c_str()));
  menuFile_.Set(ProbeLine("One", 1) + "sep\r\nitem 'Two','" + recorder + "','%s'\r\n");
  const std::string file = folder_.Write("a.txt", "x");
  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(InitializeWith(handler.Get(), {file}), S_OK);
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), E_INVALIDARG) << "before any menu was built";
  ASSERT_EQ(QueryMenu(handler.Get()).result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 4));
  const struct {
    const char* name;
    const char* verb;
    HRESULT result;
  } cases[] = {
      {"offset 0, which carries no item", MAKEINTRESOURCEA(0), E_INVALIDARG},
      {"offset 3: the separator counts, but is no entry", MAKEINTRESOURCEA(3), E_INVALIDARG},
      {"offset 0xFFFF", MAKEINTRESOURCEA(0xFFFF), E_INVALIDARG},
      {"verb string open", "open", E_FAIL},
      {"verb string of a caption", "One", E_FAIL},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Invoke(handler.Get(), c.verb), c.result) << c.name;
    EXPECT_TRUE(probe_.Take().empty()) << c.name;
    EXPECT_EQ(CurrentFolder(), startFolder_) << c.name;
  }
  CMINVOKECOMMANDINFO* none = nullptr;
  EXPECT_EQ(handler->InvokeCommand(none), E_INVALIDARG);
  // Nothing was changed: the selection is still the long path, whose folder (not its short
  // form) the first real run starts the program in.
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{2}), S_OK);
  const std::vector<std::string> lines = WaitForRecord(records + "\\zel_recorder.txt");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "\"" + recorder + "\" " + ShortPath(file));
  EXPECT_EQ(lines[1], folder_.path());
}

TEST_F(ShellHandler, AProgramEntryStartsWithTheShortPathInTheObjectsFolder) {
  const std::string recorder = FromUnixPath(ZEL_RECORDER_PATH);
  const std::string records = folder_.MakeFolder("records");
  ASSERT_TRUE(::SetEnvironmentVariableA("ZEL_RECORD_DIR", records.c_str()));
  menuFile_.Set("item 'Open it','" + recorder + "','/open %s'\r\n");
  const std::string subfolder = folder_.MakeFolder("the items");
  const std::string file = folder_.Write("the items\\some file.txt", "x");
  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_EQ(Initialize(handler.Get(), ShellSelection({file}).Get()), S_OK);
  ASSERT_EQ(QueryMenu(handler.Get()).result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), S_OK);
  const std::vector<std::string> lines = WaitForRecord(records + "\\zel_recorder.txt");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "\"" + recorder + "\" /open " + ShortPath(file));
  EXPECT_EQ(lines[1], subfolder);
  EXPECT_EQ(CurrentFolder(), startFolder_);
}

TEST(ShellAddEntry, OpensTheSelectionInTheEditorBesideTheModule) {
  Apartment apartment;
  ASSERT_EQ(apartment.result(), S_OK);
  TempFolder folder;
  const std::string app = folder.MakeFolder("app folder");
  const std::string dll = folder.Copy(ShellDllPath(), "app folder\\zelshell.dll");
  folder.Copy(FromUnixPath(ZEL_RECORDER_PATH), "app folder\\Editor.exe");
  Registered registered(dll);
  ASSERT_EQ(registered.result(), S_OK);
  ASSERT_EQ(ReadText(kServerKey, nullptr), ShortPath(dll));
  const std::string records = folder.MakeFolder("records");
  ASSERT_TRUE(::SetEnvironmentVariableA("ZEL_RECORD_DIR", records.c_str()));
  UserMenuFile menuFile("Add\r\n");
  const std::string file = folder.Write("my notes.txt", "x");

  ComPtr<IContextMenu> handler = NewHandler();
  ASSERT_NE(handler, nullptr);
  ASSERT_EQ(InitializeWith(handler.Get(), {file}), S_OK);
  const Query query = QueryMenu(handler.Get(), 50);
  EXPECT_EQ(query.tree, (std::vector<MenuNode>{Sub("Zelvane", {Item("Add to...", 51)})}));
  EXPECT_EQ(Invoke(handler.Get(), UINT_PTR{1}), S_OK);
  const std::vector<std::string> lines = WaitForRecord(records + "\\Editor.txt");
  ASSERT_EQ(lines.size(), 2u);
  const std::string tail = "Editor.exe\" " + ShortPath(file);
  ASSERT_GE(lines[0].size(), tail.size());
  EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail) << lines[0];
  EXPECT_EQ(lines[1], folder.path());
  handler.Reset();
  ::CoFreeUnusedLibraries();
}

// ---- state per handler object

TEST_F(ShellHandler, TwoOpenMenusOnOneThreadRunTheirOwnEntries) {
  const std::string fileA = folder_.Write("a.txt", "a");
  const std::string fileB = folder_.Write("b file.log", "b");
  ComPtr<IContextMenu> a = NewHandler();
  ComPtr<IContextMenu> b = NewHandler();
  ASSERT_EQ(InitializeWith(a.Get(), {fileA}), S_OK);
  ASSERT_EQ(InitializeWith(b.Get(), {fileB}), S_OK);
  menuFile_.Set(ProbeLine("A1", 1) + ProbeLine("A2", 2) + ProbeLine("A3", 3));
  ASSERT_EQ(QueryMenu(a.Get()).result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 4));
  // The file changes between the two menus: each keeps the table of its own build.
  menuFile_.Set(ProbeLine("B1", 9));
  ASSERT_EQ(QueryMenu(b.Get()).result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  // A declined selection on a third handler leaves both alone.
  ComPtr<IContextMenu> c = NewHandler();
  EXPECT_EQ(InitializeWith(c.Get(), {fileA, fileB}), E_FAIL);

  const struct {
    IContextMenu* handler;
    UINT_PTR offset;
    HRESULT result;
    int id;
    std::string path;
  } cases[] = {
      {a.Get(), 3, S_OK, 3, fileA}, {b.Get(), 1, S_OK, 9, fileB},
      {b.Get(), 2, E_INVALIDARG, 0, ""}, {a.Get(), 1, S_OK, 1, fileA},
  };
  for (const auto& cs : cases) {
    EXPECT_EQ(Invoke(cs.handler, cs.offset), cs.result);
    const std::vector<ProbeRecord> records = probe_.Take();
    if (cs.result != S_OK) {
      EXPECT_TRUE(records.empty());
      continue;
    }
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].id, cs.id);
    EXPECT_EQ(records[0].text, ShortPath(cs.path));
  }
}

// Lets a fixed number of threads wait for each other.
class Barrier {
 public:
  explicit Barrier(int count) : count_(count) {}
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    const int generation = generation_;
    if (++waiting_ == count_) {
      waiting_ = 0;
      ++generation_;
      changed_.notify_all();
    } else {
      changed_.wait(lock, [&] { return generation != generation_; });
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_;
  int waiting_ = 0;
  int generation_ = 0;
};

// Two apartment threads open 1,000 context menus between them, always both at once: each
// thread initialises and builds its menu while the other does the same, then both invoke.
// Every run must be its own menu's entry on its own menu's object; the last runs start a
// program named relative to the object's folder, each in its own thread's folder, and the
// host's current folder stays as it was.
TEST_F(ShellHandler, ManyMenusOnTwoApartmentThreadsEachRunTheirOwnEntry) {
  constexpr int kEntries = 10;
  constexpr int kFiles = 20;
  constexpr int kMenusPerThread = 500;
  constexpr int kProgramRuns = 10;  // the last menus of each thread
  std::string file;
  for (int k = 1; k <= kEntries; ++k) file += ProbeLine("Entry " + std::to_string(k), k);
  menuFile_.Set(file + "item 'Record','.\\rec.exe','%s'\r\n");
  // Without a record folder, each copy of the recorder writes rec.txt beside itself.
  ASSERT_TRUE(::SetEnvironmentVariableA("ZEL_RECORD_DIR", nullptr));
  std::vector<std::string> files[2];
  std::string folders[2];
  for (int t = 0; t < 2; ++t) {
    folders[t] = folder_.MakeFolder("thread " + std::to_string(t));
    folder_.Copy(FromUnixPath(ZEL_RECORDER_PATH), "thread " + std::to_string(t) + "\\rec.exe");
    for (int i = 0; i < kFiles; ++i) {
      files[t].push_back(folder_.Write(
          "thread " + std::to_string(t) + "\\file " + std::to_string(i) + ".txt", ""));
    }
  }
  struct Expected {
    int id;
    std::string path;
  };
  std::vector<Expected> expected[2];
  DWORD threadIds[2] = {};
  int failures[2] = {};
  int wrongStarts[2] = {};
  Barrier barrier(2);

  const auto run = [&](int t) {
    Apartment apartment;  // a single-threaded apartment of its own
    threadIds[t] = ::GetCurrentThreadId();
    for (int i = 0; i < kMenusPerThread; ++i) {
      const std::string& path = files[t][(i * 7 + t) % kFiles];
      const bool program = i >= kMenusPerThread - kProgramRuns;
      const int entry = program ? kEntries + 1 : (i + t * 5) % kEntries + 1;
      ComPtr<IContextMenu> handler = NewHandler();
      if (handler == nullptr || InitializeWith(handler.Get(), {path}) != S_OK ||
          QueryMenu(handler.Get()).result != MAKE_HRESULT(SEVERITY_SUCCESS, 0, kEntries + 2)) {
        ++failures[t];
      }
      barrier.Wait();  // both menus are built before either is invoked
      if (Invoke(handler.Get(), UINT_PTR(entry)) != S_OK) ++failures[t];
      if (program) {
        const std::string record = folders[t] + "\\rec.txt";
        const std::vector<std::string> lines = WaitForRecord(record);
        if (lines != std::vector<std::string>{"\".\\rec.exe\" " + ShortPath(path), folders[t]}) {
          ++wrongStarts[t];
        }
        ::DeleteFileA(record.c_str());
      } else {
        expected[t].push_back({entry, ShortPath(path)});
      }
      barrier.Wait();
    }
  };
  std::thread first(run, 0);
  std::thread second(run, 1);
  first.join();
  second.join();

  EXPECT_EQ(failures[0] + failures[1], 0);
  EXPECT_EQ(wrongStarts[0] + wrongStarts[1], 0) << "programs started elsewhere or on another object";
  EXPECT_EQ(CurrentFolder(), startFolder_);
  const std::vector<ProbeRecord> records = probe_.Take();
  ASSERT_EQ(records.size(), 2u * (kMenusPerThread - kProgramRuns));
  std::size_t next[2] = {};
  int wrong = 0;
  for (const ProbeRecord& record : records) {
    const int t = record.thread == threadIds[0] ? 0 : 1;
    ASSERT_EQ(record.thread, threadIds[t]);
    const Expected& want = expected[t][next[t]++];
    if (record.id != want.id || record.text != want.path) ++wrong;
  }
  EXPECT_EQ(wrong, 0) << "runs of another menu's entry or object";
  EXPECT_EQ(next[0], static_cast<std::size_t>(kMenusPerThread - kProgramRuns));
}

}  // namespace
}  // namespace zel::shellext::test
