// The server controller: checks the installation and the settings, starts the Subversion
// server as a daemon that serves the whole repository root on the configured port, and stops
// every server process on the machine. It keeps no state: whether the server runs is the main
// window's belief, held in its actions.
#pragma once

#include <string>

class TclsSVN {
public:
  TclsSVN() = default;
  TclsSVN(const TclsSVN&) = delete;
  TclsSVN& operator=(const TclsSVN&) = delete;
  // Stops the server, so that ending the program never leaves one running.
  virtual ~TclsSVN();

  // True when a start may go ahead; otherwise shows why (caption "에라~") and is false.
  bool CheckEnvironment();
  // True once the server accepts connections on the configured port. A refused environment,
  // a port that is already taken or a server that does not come up shows its message and
  // gives false; an unreadable search-path probe raises EFOpenError.
  bool StartServer();
  // Terminates every svnserve process and pauses 50 ms; true when at least one was found.
  bool StopServer();

  // The command line that StartServer runs, built from the current settings.
  std::string ServerCommandLine() const;
};

// The search path as the command interpreter sees it: every line of the probe file "tmp.dat"
// in the program's state folder after the interpreter has appended "PATH=..." to it, each
// line followed by "\r\n". The probe file is deleted afterwards. Raises EFOpenError when the
// probe file cannot be read.
std::string ReadShellPath();

// How long StartServer waits for the new server to accept connections.
constexpr unsigned ServerStartTimeoutMs = 3000;

extern TclsSVN* SVN;
void InitSVN();
void DoneSVN(); // stops the server and frees the controller
