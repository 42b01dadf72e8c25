// Subversion for the tests: an svnserve of the test's own on a free loopback port, stopped by
// the pid it started (never by name), and the svn client without prompts or a credential cache.
#pragma once

#include "support/TestSupport.h"

#include <string>
#include <sys/types.h>

namespace testing_support {

// The server runs in the foreground as a child of the test, leads a session (and process
// group) of its own with its connections, dies with the test (SIGKILL on the parent's death)
// and is ended with its whole group when this object goes.
class TSvnServe {
public:
  // Pid stays 0 when it could not start. `runAs`: a command prefix that starts svnserve as
  // another account (e.g. setpriv ...; it must keep the parent-death signal, which a change of
  // account clears: setpriv --pdeathsig KILL).
  explicit TSvnServe(const std::string& root, const std::string& runAs = "");
  ~TSvnServe();
  TSvnServe(const TSvnServe&) = delete;
  TSvnServe& operator=(const TSvnServe&) = delete;

  std::string Url(const std::string& project) const;
  // Still running: neither ended nor a zombie (it is the test's child, so an ended server
  // stays a zombie until it is reaped here).
  bool Running();

  int Pid = 0;
  int Port = 0;

private:
  std::string FPidFile;
  bool FReaped = false;
  bool Start(const std::string& root, const std::string& runAs);
};

// Runs `svn <args>`, with the user's name and password when `user` is not empty. A client that
// hangs is ended after a minute, so that the test fails instead of its run.
RunResult Svn(const std::string& args, const std::string& user = "",
              const std::string& password = "");

} // namespace testing_support
