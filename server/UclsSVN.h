// The server controller: checks the installation and the settings, starts the Subversion
// server as a daemon that serves the whole repository root on the configured port, and stops
// the one server it started. Which server is its own is kept in a record in the state folder
// (the pid svnserve wrote and the process's start mark), so that a run after a crash still
// finds it and servers of others are never touched.
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
  // Terminates the recorded server when it is still that svnserve, and then the processes it
  // forked for its connections, waits for them to go and removes the record; true when it was
  // running. A record that is garbage, empty or names
  // a process that is gone or is not that svnserve is removed without signalling anything.
  bool StopServer();
  // True while the recorded server still runs.
  bool ServerRunning() const;

  // The command line that StartServer runs, built from the current settings; the start adds
  // the server's --pid-file.
  std::string ServerCommandLine() const;
};

// The search path as the command interpreter sees it: every line of the probe file "tmp.dat"
// in the program's state folder after the interpreter has appended "PATH=..." to it, each
// line followed by "\r\n". The probe file is deleted afterwards. Raises EFOpenError when the
// probe file cannot be read.
std::string ReadShellPath();

// The address clients use: "svn://<host>/" on the Subversion port, else "svn://<host>:<port>/".
std::string ServerAddress(const std::string& host, int port);

// The record of the program's own server: "<pid> <start mark>".
std::string ServerRecordPath();
// The server program of the configured installation (<SVNPath>/bin/svnserve).
std::string ServerProgramPath();

// How long StartServer waits for the new server to accept connections.
constexpr unsigned ServerStartTimeoutMs = 3000;

extern TclsSVN* SVN;
void InitSVN();
void DoneSVN(); // stops the server and frees the controller
