// The loopback probe: whether a server listens on a port of this machine.
#pragma once

namespace platform {

// True when something accepts a TCP connection on 127.0.0.1:port within timeoutMs.
bool LoopbackPortAccepts(int port, unsigned timeoutMs = 1000);

} // namespace platform
