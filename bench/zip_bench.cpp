// Driver for bench/backup.sh.
//   orlenway_zip_bench tzip <folder> <archive> [threads [engine]]
//                                                packs <folder> the way the backup does, on
//                                                every core or on [threads], with the pieces'
//                                                engine (zlib, libdeflate; default the build's)
//   orlenway_zip_bench zlib <folder>             the engine's limit: every file's bytes read,
//                                                raw-deflated at level 6 and CRC-32'd, no archive
//   orlenway_zip_bench measure <log> <command...> runs a command with its output in <log> and
//                                                prints "<wall s> <peak RSS KiB> <CPU s>"
// Each prints one line of figures on standard output.
#include "archive/UDeflateEngine.h"
#include "archive/UZip.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

struct TLimit {
  uint64_t Files = 0, In = 0, Out = 0;
  std::vector<unsigned char> Chunk = std::vector<unsigned char>(131072);
  std::vector<unsigned char> Buffer = std::vector<unsigned char>(131070);

  void File(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    uLong crc = crc32(0L, Z_NULL, 0);
    ssize_t n;
    while ((n = ::read(fd, Chunk.data(), Chunk.size())) > 0) {
      crc = crc32(crc, Chunk.data(), static_cast<uInt>(n));
      In += static_cast<uint64_t>(n);
      z.next_in = Chunk.data();
      z.avail_in = static_cast<uInt>(n);
      do {
        z.next_out = Buffer.data();
        z.avail_out = static_cast<uInt>(Buffer.size());
        deflate(&z, Z_NO_FLUSH);
        Out += Buffer.size() - z.avail_out;
      } while (z.avail_in > 0);
    }
    int rc;
    do {
      z.next_out = Buffer.data();
      z.avail_out = static_cast<uInt>(Buffer.size());
      rc = deflate(&z, Z_FINISH);
      Out += Buffer.size() - z.avail_out;
    } while (rc == Z_OK);
    deflateEnd(&z);
    ::close(fd);
    Out += crc & 1; // keep the CRC from being optimised away
    ++Files;
  }

  void Walk(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* de = ::readdir(d))
      if (de->d_name[0] != '.') names.emplace_back(de->d_name);
    ::closedir(d);
    for (const std::string& n : names) {
      std::string p = dir + "/" + n;
      struct stat st;
      if (::stat(p.c_str(), &st) != 0) continue;
      if (S_ISDIR(st.st_mode))
        Walk(p);
      else if (S_ISREG(st.st_mode))
        File(p);
    }
  }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

// A small process starts the tool: a child's peak resident size counts what its parent had
// when it was started, so a launcher as small as this keeps the figure the tool's own.
int Measure(const char* log, char** command) {
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    int fd = ::open(log, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::dup2(fd, 1) < 0 || ::dup2(fd, 2) < 0) ::_exit(126);
    ::execvp(command[0], command);
    ::_exit(127);
  }
  int status = 0;
  struct rusage ru {};
  if (pid < 0 || ::wait4(pid, &status, 0, &ru) != pid) return 1;
  double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
               static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  std::printf("%.3f %ld %.3f\n", Seconds(t0), ru.ru_maxrss, cpu);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "measure") == 0) return Measure(argv[2], argv + 3);
  if (argc >= 3 && std::strcmp(argv[1], "zlib") == 0) {
    auto t0 = std::chrono::steady_clock::now();
    TLimit l;
    l.Walk(argv[2]);
    std::printf("zlib files=%llu in=%llu out=%llu seconds=%.3f\n",
                static_cast<unsigned long long>(l.Files), static_cast<unsigned long long>(l.In),
                static_cast<unsigned long long>(l.Out), Seconds(t0));
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "tzip") == 0) {
    auto t0 = std::chrono::steady_clock::now();
    TZip zip;
    std::string folder = argv[2];
    if (folder.back() != '/') folder += '/';
    zip.SetArchiveFile(argv[3]);
    if (argc >= 5) zip.SetWorkerThreads(static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10)));
    if (argc >= 6) {
      const std::string engine = argv[5];
      if (engine != "zlib" && engine != "libdeflate") {
        std::fprintf(stderr, "unknown engine %s\n", argv[5]);
        return 2;
      }
      SetPieceEngine(engine == "zlib" ? deZlib : deLibdeflate);
    }
    zip.DateAttribute = daFileDate;
    zip.SetCompressMethod(cmDeflate);
    zip.RecurseDirs = true;
    zip.StoreEmptySubDirs = true;
    zip.FileSpec = {folder + "*.*"};
    for (TScanAttribute k : {fsZeroAttr, fsArchive, fsDirectory, fsHidden, fsReadOnly, fsSysFile})
      zip.IncludeAttribute(k, true);
    // As the backup dialog does: a label and two bars follow the events.
    uint64_t begins = 0, progress = 0, errors = 0;
    int lastByArchive = 0;
    zip.OnBegin = [&](TZip&, const std::string&, int, bool&) { ++begins; };
    zip.OnProgress = [&](TZip&, uint8_t, uint8_t byArchive) {
      ++progress;
      lastByArchive = byArchive;
    };
    zip.OnError = [&](TZip&, const std::string& f, const std::string& x, const std::string&,
                      int code) {
      if (++errors <= 5) std::fprintf(stderr, "error %d %s %s\n", code, f.c_str(), x.c_str());
    };
    int n = zip.BuildArchive();
    struct stat st {};
    ::stat(zip.ArchiveFile().c_str(), &st);
    std::printf("tzip engine=%s entries=%d begins=%llu progress=%llu errors=%llu unreadable=%zu "
                "size=%lld seconds=%.3f last=%d\n",
                DeflateEngineName(PieceEngine()), n, static_cast<unsigned long long>(begins),
                static_cast<unsigned long long>(progress), static_cast<unsigned long long>(errors),
                zip.UnreadableCount(), static_cast<long long>(st.st_size), Seconds(t0),
                lastByArchive);
    return n > 0 ? 0 : 1;
  }
  std::fprintf(stderr, "usage: %s tzip <folder> <archive> [threads [engine]] | zlib <folder>\n",
               argv[0]);
  return 2;
}
