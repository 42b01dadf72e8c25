// A small program that the Windows tests start in the roles they need:
//   helper argv <file> <args...>   writes its arguments to <file>, one per line
//   helper sleep <ms>              sleeps, then ends with exit code 7
//   helper lock <name> <stopfile>  the program body's single-instance check: ends at once with
//                                  exit code 3 when another process holds the name, else writes
//                                  "<stopfile>.held" and holds it until <stopfile> exists
//   svnserve.exe ... --listen-port=<n> ...
//                                  as a copy named svnserve.exe: a stand-in server that
//                                  accepts connections on 127.0.0.1:<n> until it is ended
#include "platform/UfnPlatform.h"

// winsock2.h before windows.h, which would bring the old winsock.h otherwise.
#include <winsock2.h>
// After winsock2.h:
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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
  const std::string flag = "--listen-port=";
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind(flag, 0) == 0) port = std::atoi(argv[i] + flag.size());
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
  for (;;) {
    SOCKET c = ::accept(s, nullptr, nullptr);
    if (c != INVALID_SOCKET) ::closesocket(c);
  }
}

} // namespace

int main(int argc, char** argv) {
  if (BaseName(argv[0]) == "svnserve.exe") return StandInServer(argc, argv);
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
