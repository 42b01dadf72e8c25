// Windows loopback probe: a non-blocking connect through Winsock.
#include "platform/UfnPortProbe.h"

#include "platform/UfnSystemErrors.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h before windows.h, which would bring the old winsock.h otherwise.
#include <winsock2.h>
// After winsock2.h:
#include <windows.h>

namespace platform {

using detail::Remember;

bool LoopbackPortAccepts(int port, unsigned timeoutMs) {
  if (port <= 0 || port > 65535) return false;
  static const bool started = [] {
    WSADATA d;
    return ::WSAStartup(MAKEWORD(2, 2), &d) == 0;
  }();
  if (!started) return false;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    Remember(::WSAGetLastError());
    return false;
  }
  u_long nonBlocking = 1;
  ::ioctlsocket(s, static_cast<long>(FIONBIO), &nonBlocking);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  if (!ok && ::WSAGetLastError() == WSAEWOULDBLOCK) {
    fd_set w, e;
    FD_ZERO(&w);
    FD_ZERO(&e);
    FD_SET(s, &w);
    FD_SET(s, &e);
    timeval tv{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
    int r = ::select(0, nullptr, &w, &e, &tv);
    int soErr = 0;
    int len = sizeof soErr;
    ok = r > 0 && FD_ISSET(s, &w) &&
         ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soErr), &len) == 0 &&
         soErr == 0;
  }
  ::closesocket(s);
  return ok;
}

} // namespace platform
