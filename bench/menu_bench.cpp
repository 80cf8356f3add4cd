// How long a build of a 100-, 1,000- and 10,000-line menu file takes, against a plain split of
// the same bytes into lines (the floor: every build reads every line).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "menu/menu_build.h"

namespace {

using namespace zel::menu;

constexpr int kSizes[] = {100, 1000, 10000};

// Submenus of 20 entries with placeholders and extension lists, a shell-only submenu, a
// separator: about six lines in every 26 are not entries.
std::string MakeMenu(int lines) {
  std::string text;
  int written = 0;
  while (written < lines) {
    text += "sub 'Group " + std::to_string(written) + "'\r\n";
    for (int i = 0; i < 20 && written < lines; ++i, ++written) {
      text += "item 'Tool " + std::to_string(written) +
              "','C:\\Program Files\\Tools\\tool.exe','/in %input(C:\\Data)% /quiet','txt,log'\r\n";
    }
    text += "csub 'Pictures','jpg,png'\r\nitem 'View','viewer.exe','%s'\r\ncend\r\nsep\r\nend\r\n";
    written += 6;
  }
  return text;
}

// The shell's usual case: sections of 20 submenus of 20 entries, of which only the first
// submenu of each section is for the selected file; the others are skipped line by line.
std::string MakeSkippingMenu(int entries) {
  std::string text = "// made by the benchmark\r\nicons off\r\n";
  for (int g = 0; g * 20 < entries; ++g) {
    const std::string group = std::to_string(g);
    const bool skipped = g % 20 != 0;
    if (g % 20 == 0) text += "sub 'Section " + std::to_string(g / 20) + "'\r\n";
    text += skipped ? "csub 'Group " + group + "','jpg,png'\r\n" : "sub 'Group " + group + "'\r\n";
    text += "// the tools of group " + group + "\r\n";
    for (int k = g * 20; k < g * 20 + 20; ++k) {
      text += "item 'Tool " + std::to_string(k) + "','C:\\ZelBench\\Maker " +
              std::to_string(k % 100) + "\\app.exe','/in %s /quiet','txt,log'\r\n";
    }
    text += skipped ? "csep\r\ncend\r\n" : "sep\r\nend\r\n";
    if (g % 20 == 19) text += "end\r\n";
  }
  return text;
}

const std::string& Menu(int lines) {
  static std::map<int, std::string> menus;
  std::string& menu = menus[lines];
  if (menu.empty()) menu = MakeMenu(lines);
  return menu;
}

class MemoryFile final : public MenuFileAccess {
 public:
  explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Exists(const std::string&) override { return true; }
  std::unique_ptr<ByteSource> Open(const std::string&) override {
    return std::make_unique<MemorySource>(bytes_);
  }

 private:
  std::string bytes_;  // its own copy: the menu given is a temporary
};

// Counts instead of building windows: the cost measured is the file's reading and deciding.
class CountingSink final : public MenuSink {
 public:
  Handle CreateSubmenu() override { return ++count; }
  void AppendItem(Handle, unsigned, const std::string&) override { ++count; }
  void AppendSubmenu(Handle, Handle, const std::string&) override { ++count; }
  void AppendSeparator(Handle) override { ++count; }
  bool InsertSubmenu(Handle, unsigned, Handle, const std::string&) override { return true; }
  void DestroySubmenu(Handle) override {}
  std::uintptr_t count = 0;
};

void LineSplit(benchmark::State& state) {
  const std::string& menu = Menu(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::size_t lines = 0;
    const char* p = menu.data();
    const char* end = p + menu.size();
    while (p < end) {
      const void* cr = std::memchr(p, '\r', static_cast<std::size_t>(end - p));
      p = cr ? static_cast<const char*>(cr) + 1 : end;
      ++lines;
    }
    benchmark::DoNotOptimize(lines);
  }
}

void Build(benchmark::State& state, Host host, bool skipping = false) {
  const int size = static_cast<int>(state.range(0));
  MemoryFile files(skipping ? MakeSkippingMenu(size) : Menu(size));
  BuildRequest request;
  request.host = host;
  request.path = "Menu.txt";
  request.selected = {{"C:\\notes.txt", ""}};
  MenuTable table;
  for (auto _ : state) {
    CountingSink sink;
    const BuildResult result = BuildMenu(request, files, sink, 0, table);
    benchmark::DoNotOptimize(result.addedCount);
  }
}

void TrayBuild(benchmark::State& state) { Build(state, Host::Tray); }
void ShellBuild(benchmark::State& state) { Build(state, Host::Shell); }
void ShellBuildSkipping(benchmark::State& state) { Build(state, Host::Shell, true); }

BENCHMARK(LineSplit)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(TrayBuild)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(ShellBuild)->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(ShellBuildSkipping)->Arg(10000);

// Keeps each run's time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nportable build / line split of the same bytes (goal: at most 10x)\n");
  std::printf("%8s %12s %8s %8s\n", "lines", "bytes", "tray", "shell");
  for (const int lines : kSizes) {
    const std::string size = "/" + std::to_string(lines);
    const double floor = reporter.times["LineSplit" + size];
    if (floor <= 0) continue;
    std::printf("%8d %12zu %7.1fx %7.1fx\n", lines, Menu(lines).size(),
                reporter.times["TrayBuild" + size] / floor,
                reporter.times["ShellBuild" + size] / floor);
  }
  benchmark::Shutdown();
  return 0;
}
