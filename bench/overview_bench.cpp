// Times the server log's reader on a generated log and the projects' overview on a root:
//   orlenway_overview_bench log LINES FILE
//   orlenway_overview_bench overview ROOT
#include "projects/UfnOverview.h"
#include "server/UfnServerLog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "log" && argc == 4) {
    const long lines = std::atol(argv[2]);
    {
      std::ofstream out(argv[3], std::ios::binary);
      const char* actions[] = {
          "get-file /trunk/src/main.cpp r120 text", "update /trunk r120 send-copyfrom-args",
          "commit r121", "get-dir /branches%20x r7 text", "ERR - 0 170001 Authorization failed"};
      for (long i = 0; i < lines; ++i)
        out << 10000 + i % 5000 << " 2026-12-10T16:44:" << 10 + i % 50 << ".661205Z 10.0.0."
            << i % 250 << (i % 3 ? " kim" : " -") << " project" << i % 40 << " " << actions[i % 5]
            << "\n";
    }
    const auto start = std::chrono::steady_clock::now();
    const size_t events = ReadServerLog(argv[3]).size();
    std::printf("log: %ld lines, %zu events read in %.3f s\n", lines, events, Seconds(start));
    return 0;
  }
  if (mode == "overview" && argc == 3) {
    TOverviewOptions o;
    o.RepoPath = argv[2];
    o.SvnPath = "/usr";
    auto start = std::chrono::steady_clock::now();
    auto list = ReadOverview(o);
    std::printf("overview: %zu projects listed in %.3f s", list.size(), Seconds(start));
    for (auto& p : list)
      ReadOverviewDetails(o, p);
    std::printf(", with their details in %.3f s\n", Seconds(start));
    return 0;
  }
  std::fprintf(stderr, "usage: orlenway_overview_bench log LINES FILE | overview ROOT\n");
  return 2;
}
