// Subversion for the tests: an svnserve of the test's own on a free loopback port, stopped by
// the pid it wrote (never by name), and the svn client without prompts or a credential cache.
#pragma once

#include "support/TestSupport.h"

#include <string>

namespace testing_support {

class TSvnServe {
public:
  // Pid stays 0 when it could not start. `runAs`: a command prefix that starts svnserve as
  // another account (e.g. setpriv ...). `logFile`: where the server logs its requests.
  explicit TSvnServe(const std::string& root, const std::string& runAs = "",
                     const std::string& logFile = "");
  ~TSvnServe();
  TSvnServe(const TSvnServe&) = delete;
  TSvnServe& operator=(const TSvnServe&) = delete;

  std::string Url(const std::string& project) const;

  int Pid = 0;
  int Port = 0;

private:
  std::string FPidFile;
};

// Runs `svn <args>`, with the user's name and password when `user` is not empty.
RunResult Svn(const std::string& args, const std::string& user = "",
              const std::string& password = "");

} // namespace testing_support
