// How long a build of a 10,000-line menu file takes, against a plain split of the same bytes
// into lines (the floor: every build reads every line).
#include <benchmark/benchmark.h>

#include <cstring>
#include <iomanip>
#include <iostream>
#include <map>
#include <string>

#include "menu/menu_build.h"

namespace {

using namespace zel::menu;

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

const std::string& Menu() {
  static const std::string menu = MakeMenu(10000);
  return menu;
}

class MemoryFile final : public MenuFileAccess {
 public:
  bool Exists(const std::string&) override { return true; }
  std::unique_ptr<ByteSource> Open(const std::string&) override {
    return std::make_unique<MemorySource>(Menu());
  }
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

void BM_LineSplitFloor(benchmark::State& state) {
  for (auto _ : state) {
    const std::string& menu = Menu();
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

void BuildBench(benchmark::State& state, Host host) {
  MemoryFile files;
  BuildRequest request;
  request.host = host;
  request.path = "Menu.txt";
  request.selectedPath = "C:\\notes.txt";
  MenuTable table;
  for (auto _ : state) {
    CountingSink sink;
    const BuildResult result = BuildMenu(request, files, sink, 0, table);
    benchmark::DoNotOptimize(result.addedCount);
  }
}

void BM_BuildTray(benchmark::State& state) { BuildBench(state, Host::Tray); }
void BM_BuildShell(benchmark::State& state) { BuildBench(state, Host::Shell); }

BENCHMARK(BM_LineSplitFloor)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildTray)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BuildShell)->Unit(benchmark::kMicrosecond);

// Keeps each run's time per iteration so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
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
  const double floor = reporter.times["BM_LineSplitFloor"];
  std::cout << "menu file: 10,000 lines, " << Menu().size() << " bytes\n";
  for (const char* name : {"BM_BuildTray", "BM_BuildShell"}) {
    if (floor > 0 && reporter.times.count(name)) {
      std::cout << name << " / line split: " << std::fixed << std::setprecision(1)
                << reporter.times[name] / floor << "x\n";
    }
  }
  benchmark::Shutdown();
  return 0;
}
