#include "ArchiveTestKit.h"

#include "projects/UfnBackup.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace ziptest {

std::string TEvents::ErrorCodes() const {
  std::string s;
  for (const TErrorEvent& e : Errors)
    s += (s.empty() ? "" : " ") + std::to_string(e.ECode);
  return s;
}

void ConfigureLikeBackup(TZip& zip, const std::string& sourceFolder, const std::string& archive,
                         TEvents& ev) {
  std::string folder = sourceFolder;
  if (folder.empty() || folder.back() != '/') folder += '/';
  ConfigureBackupZip(zip, folder, archive);
  zip.OnBegin = [&ev](TZip&, const std::string& name, int count, bool& extract) {
    ev.Begins.emplace_back(name, count);
    if (ev.OnBegin) ev.OnBegin(name, count, extract);
  };
  zip.OnProgress = [&ev](TZip&, uint8_t byFile, uint8_t byArchive) {
    ev.Progress.emplace_back(byFile, byArchive);
    if (ev.OnProgress) ev.OnProgress(byFile, byArchive);
  };
  zip.OnEnd = [&ev](TZip&, const std::string& name, bool pass) {
    ev.Ends.push_back(name + (pass ? "" : " (CRC failed)"));
  };
  zip.OnError = [&ev](TZip&, const std::string& f, const std::string& x, const std::string& v,
                      int code) {
    ev.Errors.push_back({f, x, v, code});
  };
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* de = ::readdir(d)) {
      std::string n = de->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
  }
  return out;
}

std::string InChild(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe");
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::close(fds[0]);
    std::string out;
    try {
      out = body();
    } catch (const std::exception& e) {
      out = std::string("exception: ") + e.what();
    }
    size_t done = 0;
    while (done < out.size()) {
      ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
    out.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "child died (status " + std::to_string(status) + "): " + out;
  return out;
}

void MakeSparseFile(const std::string& path, uint64_t size, const std::vector<uint64_t>& markers) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0)
    throw std::runtime_error("cannot make " + path);
  for (uint64_t at : markers) {
    char mark[16];
    int n = std::snprintf(mark, sizeof mark, "@%llu@", static_cast<unsigned long long>(at));
    if (::pwrite(fd, mark, static_cast<size_t>(n), static_cast<off_t>(at)) != n)
      throw std::runtime_error("cannot mark " + path);
  }
  ::close(fd);
}

} // namespace ziptest
