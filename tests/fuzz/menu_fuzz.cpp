// Feeds arbitrary bytes to the line reader, both builds and the checker, and checks that
// every item a build made leads back to its entry; and that the line scan's vector and
// portable builds agree (what they find is in tests/cases). The UTF-8 reading:
// a file without the mark takes the same code as ever (the mark test consumes nothing and
// the line is handed on untouched), so what is compared here is the other way round: a valid
// UTF-8 text builds the same menu with the mark as without it, and repairing never moves,
// drops or adds an ASCII byte.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "menu/hotkey.h"
#include "menu/line_scan.h"
#include "menu/menu_build.h"
#include "menu/menu_check.h"
#include "menu/menu_icons.h"
#include "menu/menu_tree.h"
#include "tests/unit/fake_files.h"

namespace {

using namespace zel;
using namespace zel::menu;

void Require(bool condition) {
  if (!condition) std::abort();
}

// Walks the tree: entry items must carry consecutive identifiers in file order.
void Walk(const std::vector<MenuNode>& items, unsigned& next, unsigned& count) {
  for (const MenuNode& node : items) {
    ++count;
    if (node.kind == MenuNode::Kind::Submenu) {
      Walk(node.children, next, count);
    } else if (node.kind == MenuNode::Kind::Item) {
      Require(node.id == next++);
    }
  }
}

struct Built {
  std::vector<MenuNode> tree;
  MenuTable table;
};

Built BuildAndVerify(std::string_view bytes, const BuildRequest& request) {
  zel::test::FakeFiles files;
  files.Put(request.path, std::string(bytes));
  MenuTreeSink sink;
  Built built;
  MenuTable& table = built.table;
  const BuildResult result = BuildMenu(request, files, sink, sink.Root(), table);
  const unsigned first = request.host == Host::Tray ? kTrayIdBase + 1 : request.idCmdFirst + 1;
  unsigned next = first;
  unsigned count = 0;
  Walk(sink.Tree(), next, count);
  Require(next - first == table.EntryCount);
  Require(table.EntryCount <= table.MenuEntries.size());
  if (request.host == Host::Shell) Require(result.addedCount == count);
  built.tree = sink.Tree();
  // Fed line by line, no quiet lines passed over, the file builds the same.
  MemorySource source(bytes);
  LineReader reader(source);
  MenuTreeSink lineSink;
  MenuTable lineTable;
  MenuBuilder builder(request, lineSink, lineSink.Root(), lineTable, reader.Kind());
  do {
    builder.Feed(reader.ReadLine());
  } while (!reader.AtEnd());
  Require(lineSink.Tree() == built.tree && builder.HotkeyLine() == result.hotkeyLine);
  return built;
}

bool SameEntries(const MenuTable& a, const MenuTable& b) {
  bool same = a.EntryCount == b.EntryCount;
  for (std::size_t i = 0; same && i < a.EntryCount; ++i) {
    same = a.MenuEntries[i].Command + '\0' + a.MenuEntries[i].Arguments ==
           b.MenuEntries[i].Command + '\0' + b.MenuEntries[i].Arguments;
  }
  return same;
}

std::string AsciiOf(std::string_view text) {
  std::string ascii;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x80) ascii += c;
  }
  return ascii;
}

// Without a mark the input is read as ANSI; a valid UTF-8 text reads the same behind a mark.
// Repairs keep the ASCII bytes, and their result is valid.
void Utf8AgreesWithAnsi(std::string_view bytes, const BuildRequest& request) {
  const bool marked = bytes.starts_with(kUtf8Mark);
  const Built plain = BuildAndVerify(bytes, request);
  Require(plain.table.kind == (marked ? TextKind::Utf8 : TextKind::Ansi));
  std::string repaired;
  if (!RepairUtf8(bytes, repaired)) {
    if (marked) return;
    const Built utf8 = BuildAndVerify(std::string(kUtf8Mark) + std::string(bytes), request);
    Require(utf8.table.kind == TextKind::Utf8);
    Require(utf8.tree == plain.tree && SameEntries(utf8.table, plain.table));
    return;
  }
  std::string again;
  Require(!RepairUtf8(repaired, again));
  Require(AsciiOf(repaired) == AsciiOf(bytes));
}

bool HoldsSkipPair(std::string_view text) {
  const std::string lowered = LowerAscii(text);
  for (const char* pair : {"ub", "nd", "tk", "ff"}) {
    if (lowered.find(pair) != std::string::npos) return true;
  }
  return false;
}

// The scanner's two builds agree: the vector one and the portable one.
void ScanBuildsAgree(std::string_view line) {
  Require(LineScan(line).Comment() == (line.find("//") != std::string_view::npos));
  for (std::size_t from = 0; from <= line.size(); ++from) {
    const std::size_t end = FindLineEnd(line.data() + from, line.size() - from);
    Require(end == PortableFindLineEnd(line.data() + from, line.size() - from));
    Require(from + end == std::min(line.find_first_of("\r\x1a", from), line.size()));
  }
  // The quiet lines at the start of every length of the line: both builds agree, and what they
  // pass is whole lines without a skip pair or a Ctrl-Z; a line without a pair is nothing a
  // skipped submenu looks at.
  for (std::size_t size = 0; size <= line.size(); ++size) {
    const std::string_view part = line.substr(0, size);
    const QuietLines quiet = FindQuietLines(part.data(), size);
    const QuietLines portable = PortableFindQuietLines(part.data(), size);
    const std::string_view passed = part.substr(0, quiet.size);
    Require(quiet.lines == portable.lines && quiet.size == portable.size);
    Require(quiet.size == 0 || (quiet.size < size && passed.back() == '\r'));
    Require(std::count(passed.begin(), passed.end(), '\r') == static_cast<long>(quiet.lines));
    Require(!HoldsSkipPair(passed) && passed.find('\x1a') == std::string_view::npos);
    if (HoldsSkipPair(part)) continue;
    // The shell form's test with both letters swapped in finds a keyword wherever it stands.
    const LineScan scan(part);
    for (const Keyword keyword : {Keyword::Sub, Keyword::End}) {
      Require(!scan.Names(keyword, Host::Shell) && !scan.Names(keyword, Host::Shell, true));
    }
    Require(!IsIconsOffLine(part) && !IsHotkeyLine(part, scan));
  }
  // Every block of the line, read with and without its neighbours, both ways.
  const std::string padded = '\0' + std::string(line) + std::string(kScanBlock + 1, '\0');
  for (std::size_t at = 1; at + kScanBlock < padded.size(); ++at) {
    for (const unsigned edges : {0u, kNoByteBefore, kNoByteAfter, kNoByteBefore | kNoByteAfter}) {
      const BlockMarks vector = MarksOf(padded.data() + at, edges);
      const BlockMarks portable = PortableMarksOf(padded.data() + at, edges);
      Require(vector.quotes == portable.quotes && vector.fieldQuotes == portable.fieldQuotes &&
              vector.marks == portable.marks);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  BuildRequest tray;
  tray.path = "Menu.txt";
  Utf8AgreesWithAnsi(bytes, tray);

  // The selected path's extension comes from the input's first bytes: ASCII ones, so that
  // bytes and characters agree.
  BuildRequest shell = tray;
  shell.host = Host::Shell;
  const std::string selected = "C:\\x." + AsciiOf(bytes.substr(0, 3));
  shell.selected = {{selected, selected}};
  shell.idCmdFirst = 100;
  shell.idCmdLast = 100 + static_cast<unsigned>(size % 64);
  Utf8AgreesWithAnsi(bytes, shell);

  MemorySource source(bytes);
  CheckMenu(source);
  ScanBuildsAgree(bytes.substr(0, 64));
  Hotkey hotkey;
  ParseHotkey(bytes.substr(0, 64), hotkey);
  return 0;
}
