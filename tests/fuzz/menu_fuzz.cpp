// Feeds arbitrary bytes to the line reader, both builds and the checker, and checks that
// every item a build made leads back to its entry; and that the one-pass line scan answers as
// the keyword test and the field extraction do when written out plainly.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "menu/hotkey.h"
#include "menu/line_scan.h"
#include "menu/menu_build.h"
#include "menu/menu_check.h"
#include "menu/menu_tree.h"

namespace {

using namespace zel::menu;

class OneFile final : public MenuFileAccess {
 public:
  explicit OneFile(std::string_view bytes) : bytes_(bytes) {}
  bool Exists(const std::string&) override { return true; }
  std::unique_ptr<ByteSource> Open(const std::string&) override {
    return std::make_unique<MemorySource>(bytes_);
  }

 private:
  std::string_view bytes_;
};

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

void BuildAndVerify(std::string_view bytes, const BuildRequest& request) {
  OneFile files(bytes);
  MenuTreeSink sink;
  MenuTable table;
  const BuildResult result = BuildMenu(request, files, sink, sink.Root(), table);
  const unsigned first = request.host == Host::Tray ? kTrayIdBase + 1 : request.idCmdFirst + 1;
  unsigned next = first;
  unsigned count = 0;
  Walk(sink.Tree(), next, count);
  Require(next - first == table.EntryCount);
  Require(table.EntryCount <= table.MenuEntries.size());
  if (request.host == Host::Shell) Require(result.addedCount == count);
}

// The keyword test step by step: substrings of the lowered line.
bool PlainKeyword(const std::string& keyword, std::string_view line, bool forOtherHost, Host host) {
  const std::string lowered = LowerAscii(line);
  char own = host == Host::Tray ? 't' : 'c';
  char other = host == Host::Tray ? 'c' : 't';
  if (forOtherHost) std::swap(own, other);
  const auto has = [&](const std::string& part) { return lowered.find(part) != std::string::npos; };
  if (host == Host::Shell && has(own + keyword)) return true;
  return has(keyword) && !has(other + keyword);
}

// The same test through the scanner, which looks at each block of the line once.
bool ScannedKeyword(std::size_t keyword, std::string_view line, bool forOtherHost, Host host) {
  return LineScan(line).Names(static_cast<Keyword>(keyword), host, forOtherHost);
}

// Every run of quotes as one quote.
std::string OneQuotePerRun(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c != '\'' || out.empty() || out.back() != '\'') out += c;
  }
  return out;
}

// Field n step by step: walk the field quotes, pairing them from the left.
std::string PlainField(std::string_view line, std::size_t n) {
  std::size_t count = 0;
  bool inside = false;
  for (std::size_t pos = 0; pos < line.size(); ++pos) {
    if (!IsFieldQuote(line, pos)) continue;
    if (count == n) {
      for (std::size_t end = pos + 1; end < line.size(); ++end) {
        if (IsFieldQuote(line, end)) {
          return OneQuotePerRun(line.substr(pos + 1, end - pos - 1));
        }
      }
    }
    if (inside) ++count;
    inside = !inside;
  }
  return {};
}

void ScanAgreesWithPlainRules(std::string_view line) {
  const std::string keywords[] = {"sep", "item", "sub", "end"};  // in the order of Keyword
  for (std::size_t k = 0; k < 4; ++k) {
    for (const Host host : {Host::Tray, Host::Shell}) {
      for (const bool other : {false, true}) {
        Require(ScannedKeyword(k, line, other, host) == PlainKeyword(keywords[k], line, other, host));
      }
    }
  }
  for (std::size_t n = 0; n < 4; ++n) Require(GetQuotedField(line, n) == PlainField(line, n));
  Require(LineScan(line).Comment() == (line.find("//") != std::string_view::npos));
  for (std::size_t from = 0; from <= line.size(); ++from) {
    const std::size_t end = FindLineEnd(line.data() + from, line.size() - from);
    Require(end == PortableFindLineEnd(line.data() + from, line.size() - from));
    Require(from + end == std::min(line.find_first_of("\r\x1a", from), line.size()));
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
  BuildAndVerify(bytes, tray);

  // The selected path's extension comes from the input's first bytes.
  BuildRequest shell = tray;
  shell.host = Host::Shell;
  shell.selectedPath = "C:\\x." + std::string(bytes.substr(0, 3));
  shell.idCmdFirst = 100;
  shell.idCmdLast = 100 + static_cast<unsigned>(size % 64);
  BuildAndVerify(bytes, shell);

  MemorySource source(bytes);
  CheckMenu(source);
  ScanAgreesWithPlainRules(bytes.substr(0, 64));
  Hotkey hotkey;
  ParseHotkey(bytes.substr(0, 64), hotkey);
  return 0;
}
