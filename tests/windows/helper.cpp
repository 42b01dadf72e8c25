// A small program that the Windows tests start in the roles they need:
//   helper argv <file> <args...>   writes its arguments to <file>, one per line
//   helper sleep <ms>              sleeps, then ends with exit code 7
//   helper wait <file>             ends with exit code 0 once <file> exists (1 after 60 s)
//   helper lock <name> <stopfile>  the program body's single-instance check: ends at once with
//                                  exit code 3 when another process holds the name, else writes
//                                  "<stopfile>.held" and holds it until <stopfile> exists
//   svnserve.exe ... --listen-port=<n> ... [--pid-file <file>]
//                                  as a copy named svnserve.exe: a stand-in server that
//                                  accepts connections on 127.0.0.1:<n> until it is ended,
//                                  its process id written to <file> once it listens
//   svnadmin.exe create|hotcopy|verify ...
//                                  as a copy named svnadmin.exe: a stand-in for Subversion's
//                                  administration program over a small folder layout of its
//                                  own (format, db/current, one file a revision in db/revs/0,
//                                  empty db/transactions and db/txn-protorevs, conf, hooks,
//                                  locks); verify checks every revision file's text;
//                                  hotcopy --incremental copies over an earlier copy
//   svnlook.exe youngest|uuid <repo>
//                                  as a copy named svnlook.exe: the same layout's youngest
//                                  revision (db/current) and identity (db/uuid)
//   schtasks.exe /Create|/Delete|/Query ...
//                                  as a copy named schtasks.exe: /Create writes its arguments,
//                                  one a line, to "task" beside it; /Delete removes it (exit 1
//                                  when there is none); /Query answers whether it is there
#include "platform/UfnPlatform.h"

// winsock2.h before windows.h, which would bring the old winsock.h otherwise.
#include <winsock2.h>
// After winsock2.h:
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string BaseName(const char* path) {
  std::string p = path;
  size_t slash = p.find_last_of("\\/");
  if (slash != std::string::npos) p = p.substr(slash + 1);
  for (char& c : p)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return p;
}

int StandInServer(int argc, char** argv) {
  int port = 0;
  std::string pidFile;
  const std::string flag = "--listen-port=";
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]).rfind(flag, 0) == 0) port = std::atoi(argv[i] + flag.size());
    if (std::string(argv[i]) == "--pid-file" && i + 1 < argc) pidFile = argv[++i];
  }
  // The tests never use the registered port: without one, there is nothing to serve.
  if (port <= 0) return 4;
  WSADATA d;
  if (::WSAStartup(MAKEWORD(2, 2), &d) != 0) return 5;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(s, 8) != 0) return 1;
  if (!pidFile.empty()) {
    FILE* f = std::fopen(pidFile.c_str(), "wb");
    if (!f) return 6;
    std::fprintf(f, "%lu\n", static_cast<unsigned long>(::GetCurrentProcessId()));
    std::fclose(f);
  }
  for (;;) {
    SOCKET c = ::accept(s, nullptr, nullptr);
    if (c != INVALID_SOCKET) ::closesocket(c);
  }
}

namespace fs = std::filesystem;

bool Write(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  return static_cast<bool>(out.flush());
}

bool Read(const fs::path& file, std::string& text) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

int Fail(const std::string& message) {
  std::printf("svnadmin: %s\n", message.c_str());
  return 1;
}

std::string RevisionText(long r) {
  return "revision " + std::to_string(r) + "\n";
}

int Create(const fs::path& repo) {
  std::error_code ec;
  if (fs::exists(repo, ec) && !fs::is_empty(repo, ec))
    return Fail("E165002: '" + repo.string() + "' is an existing repository");
  for (const char* dir : {"db/revs/0", "db/revprops/0", "db/transactions", "db/txn-protorevs",
                          "conf", "hooks", "locks"})
    fs::create_directories(repo / dir, ec);
  bool ok = !ec && Write(repo / "format", "5\n") && Write(repo / "db/format", "8\n") &&
            Write(repo / "db/current", "0\n") &&
            Write(repo / "db/uuid", "stand-in-" + std::to_string(::GetTickCount64()) + "-" +
                                        std::to_string(::GetCurrentProcessId()) + "\n") &&
            Write(repo / "db/revs/0/0", RevisionText(0)) &&
            Write(repo / "db/revprops/0/0", "END\n") && Write(repo / "locks/db.lock", "") &&
            Write(repo / "conf/svnserve.conf", "[general]\n# password-db = passwd\n") &&
            Write(repo / "conf/passwd", "[users]\n");
  return ok ? 0 : Fail("E000005: Can't create '" + repo.string() + "'");
}

int Verify(const fs::path& repo, bool quiet) {
  std::string text;
  if (!Read(repo / "format", text) || text != "5\n")
    return Fail("E000002: Can't open file '" + (repo / "format").string() + "'");
  if (!Read(repo / "db/current", text) || text.empty() || text.back() != '\n')
    return Fail("E160004: Corrupt 'current' file");
  const long youngest = std::strtol(text.c_str(), nullptr, 10);
  for (const char* dir : {"db/transactions", "db/txn-protorevs"})
    if (!fs::is_directory(repo / dir)) return Fail(std::string("E000002: No folder ") + dir);
  for (long r = 0; r <= youngest; ++r) {
    if (!Read(repo / "db/revs/0" / std::to_string(r), text) || text != RevisionText(r))
      return Fail("E160004: Corrupt representation in revision " + std::to_string(r));
    if (!quiet) std::printf("* Verified revision %ld.\n", r);
  }
  return 0;
}

int Hotcopy(const fs::path& from, const fs::path& to, bool incremental) {
  std::error_code ec;
  if (!fs::exists(from / "format", ec))
    return Fail("E000002: Can't open file '" + (from / "format").string() + "'");
  if (!incremental && fs::exists(to, ec))
    return Fail("E000017: '" + to.string() + "' already exists");
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
  return ec ? Fail("E000005: " + ec.message()) : 0;
}

// The first line of a file of the layout, printed as svnlook prints its answer.
int StandInSvnLook(int argc, char** argv) {
  if (argc != 3) return Fail("E205001: Try 'svnlook help' for more information");
  const std::string command = argv[1];
  const fs::path file = fs::path(argv[2]) / (command == "uuid" ? "db/uuid" : "db/current");
  std::string text;
  if ((command != "youngest" && command != "uuid") || !Read(file, text) || text.empty())
    return Fail("E000002: Can't open file '" + file.string() + "'");
  std::printf("%s", text.substr(0, text.find('\n') + 1).c_str());
  return 0;
}

int StandInSvnAdmin(int argc, char** argv) {
  if (argc < 3) return Fail("E205001: Try 'svnadmin help' for more information");
  const std::string command = argv[1];
  if (command == "create") return Create(argv[2]);
  if (command == "hotcopy" && argc == 4) return Hotcopy(argv[2], argv[3], false);
  if (command == "hotcopy" && argc == 5 && std::string(argv[2]) == "--incremental")
    return Hotcopy(argv[3], argv[4], true);
  if (command == "verify") {
    // [--quiet|-q] [-r RANGE] REPO: a range is checked as the whole.
    bool quiet = false;
    int i = 2;
    for (; i < argc - 1; ++i) {
      const std::string arg = argv[i];
      if (arg == "--quiet" || arg == "-q")
        quiet = true;
      else if (arg == "-r")
        ++i;
      else
        break;
    }
    if (i != argc - 1) return Fail("E205001: Repository argument required");
    return Verify(argv[i], quiet);
  }
  return Fail("E205001: Unknown subcommand: '" + command + "'");
}

} // namespace

int StandInSchtasks(int argc, char** argv) {
  if (argc < 2) return 2;
  const fs::path task = fs::path(argv[0]).parent_path() / "task";
  const std::string command = argv[1];
  if (command == "/Create") {
    std::ofstream out(task, std::ios::binary);
    for (int i = 1; i < argc; ++i)
      out << argv[i] << "\n";
    return out ? 0 : 1;
  }
  std::error_code ec;
  if (command == "/Delete") return fs::remove(task, ec) ? 0 : 1;
  if (command == "/Query") {
    if (!fs::exists(task)) return 1;
    std::printf("TaskName:      \\orlenway-admin-backup\nNext Run Time: 2026-12-11 01:15:00\n");
    return 0;
  }
  return 2;
}

int main(int argc, char** argv) {
  if (BaseName(argv[0]) == "schtasks.exe") return StandInSchtasks(argc, argv);
  if (BaseName(argv[0]) == "svnserve.exe") return StandInServer(argc, argv);
  if (BaseName(argv[0]) == "svnadmin.exe") return StandInSvnAdmin(argc, argv);
  if (BaseName(argv[0]) == "svnlook.exe") return StandInSvnLook(argc, argv);
  if (argc < 2) return 2;
  std::string mode = argv[1];
  if (mode == "argv" && argc >= 3) {
    FILE* f = std::fopen(argv[2], "wb");
    if (!f) return 2;
    for (int i = 3; i < argc; ++i)
      std::fprintf(f, "%s\n", argv[i]);
    std::fclose(f);
    return 0;
  }
  if (mode == "sleep" && argc >= 3) {
    ::Sleep(static_cast<DWORD>(std::atoi(argv[2])));
    return 7;
  }
  if (mode == "wait" && argc >= 3) {
    for (int i = 0; i < 6000; ++i) {
      if (platform::FileExists(argv[2])) return 0;
      ::Sleep(10);
    }
    return 1;
  }
  if (mode == "lock" && argc >= 4) {
    auto lock = platform::AcquireInstanceLock(argv[2]);
    if (!lock) return 3;
    std::string stop = argv[3];
    if (FILE* f = std::fopen((stop + ".held").c_str(), "wb")) std::fclose(f);
    for (int i = 0; i < 3000 && !platform::FileExists(stop); ++i)
      ::Sleep(10);
    return 0;
  }
  return 2;
}
