#include "RealReaders.h"

#include "support/TestSupport.h"

#include <functional>
#include <sys/stat.h>
#include <thread>
#include <vector>

using testing_support::FolderNames;
using testing_support::Quote;
using testing_support::Shell;

namespace ziptest {

namespace {

bool IsDir(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void AddWithParents(std::set<std::string>& dirs, std::string rel) {
  while (!rel.empty()) {
    dirs.insert(rel);
    size_t cut = rel.rfind('/');
    rel = cut == std::string::npos ? "" : rel.substr(0, cut);
  }
}

std::string Parent(const std::string& rel) {
  size_t cut = rel.rfind('/');
  return cut == std::string::npos ? "" : rel.substr(0, cut);
}

// Empty in the packer's sense on Linux: no files and no dot names anywhere below, and no
// read-only folder on the way.
bool EmptyFolder(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !(st.st_mode & S_IWUSR)) return false;
  for (const std::string& n : FolderNames(path)) {
    if (n[0] == '.' || !IsDir(path + "/" + n) || !EmptyFolder(path + "/" + n)) return false;
  }
  return true;
}

void Expect(const std::string& root, const std::string& rel, TTree& t) {
  std::string here = rel.empty() ? root : root + "/" + rel;
  for (const std::string& n : FolderNames(here)) {
    if (n[0] == '.') continue;
    std::string r = rel.empty() ? n : rel + "/" + n;
    std::string p = root + "/" + r;
    if (IsDir(p)) {
      if (EmptyFolder(p)) AddWithParents(t.Dirs, r);
      Expect(root, r, t);
    } else {
      t.Files[r] = testing_support::ReadFile(p);
      AddWithParents(t.Dirs, Parent(r));
    }
  }
}

void Actual(const std::string& root, const std::string& rel, TTree& t) {
  std::string here = rel.empty() ? root : root + "/" + rel;
  for (const std::string& n : FolderNames(here)) {
    std::string r = rel.empty() ? n : rel + "/" + n;
    std::string p = root + "/" + r;
    if (IsDir(p)) {
      t.Dirs.insert(r);
      Actual(root, r, t);
    } else {
      t.Files[r] = testing_support::ReadFile(p);
    }
  }
}

std::string Run(const std::string& what, const std::string& cmd) {
  auto r = Shell(cmd + " 2>&1");
  if (r.ExitCode == 0) return "";
  std::string out = r.Output.size() > 2000 ? r.Output.substr(0, 2000) + "..." : r.Output;
  return what + " failed (" + std::to_string(r.ExitCode) + "):\n" + out + "\n";
}

const char* kPythonTest = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad is not None:
        print("bad member", bad); sys.exit(1)
    if len(sys.argv) > 2:
        z.extractall(sys.argv[2])
)";

const char* kPythonMember = R"(
import sys, zipfile, shutil
with zipfile.ZipFile(sys.argv[1]) as z:
    with z.open(sys.argv[2]) as src:
        shutil.copyfileobj(src, sys.stdout.buffer, 1 << 20)
)";

// Runs job(0) .. job(count - 1) side by side, a thread each, and joins their reports in order.
std::string SideBySide(size_t count, const std::function<std::string(size_t)>& job) {
  std::vector<std::string> reports(count);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < count; ++i)
    threads.emplace_back([&, i] { reports[i] = job(i); });
  for (std::thread& t : threads)
    t.join();
  std::string report;
  for (const std::string& r : reports)
    report += r;
  return report;
}

} // namespace

TTree ExpectedTree(const std::string& root) {
  TTree t;
  Expect(root, "", t);
  return t;
}

TTree ActualTree(const std::string& root) {
  TTree t;
  Actual(root, "", t);
  return t;
}

std::string TreeDiff(const TTree& expected, const TTree& actual) {
  std::string out;
  for (auto& [k, v] : expected.Files) {
    auto it = actual.Files.find(k);
    if (it == actual.Files.end())
      out += "missing file " + k + "\n";
    else if (it->second != v)
      out += "different contents " + k + "\n";
  }
  for (auto& [k, v] : actual.Files)
    if (!expected.Files.count(k)) out += "extra file " + k + "\n";
  for (auto& d : expected.Dirs)
    if (!actual.Dirs.count(d)) out += "missing folder " + d + "\n";
  for (auto& d : actual.Dirs)
    if (!expected.Dirs.count(d)) out += "extra folder " + d + "\n";
  return out;
}

std::string CheckWithReaders(const std::string& archive, const TTree& expected,
                             const std::string& work) {
  const std::string a = Quote(archive);
  struct TReader {
    const char* Name;
    std::string Test, Extract;
  };
  auto out = [&](const char* name) { return work + "/" + name; };
  std::vector<TReader> readers = {
      {"unzip", "unzip -tqq " + a, "unzip -qq " + a + " -d " + Quote(out("unzip"))},
      {"7z", "7z t -bd " + a, "7z x -bd -y -o" + Quote(out("7z")) + " " + a},
      {"bsdtar", "bsdtar -tf " + a,
       "mkdir -p " + Quote(out("bsdtar")) + " && bsdtar -xf " + a + " -C " + Quote(out("bsdtar"))},
      {"python", "python3 -c " + Quote(kPythonTest) + " " + a,
       "python3 -c " + Quote(kPythonTest) + " " + a + " " + Quote(out("python"))},
  };
  // Each reader extracts into a folder of its own.
  return SideBySide(readers.size(), [&](size_t i) {
    const TReader& r = readers[i];
    std::string e = Run(std::string(r.Name) + " test", r.Test);
    if (e.empty()) e = Run(std::string(r.Name) + " extract", r.Extract);
    if (e.empty()) {
      Shell("mkdir -p " + Quote(out(r.Name)));
      std::string diff = TreeDiff(expected, ActualTree(out(r.Name)));
      if (!diff.empty()) e = std::string(r.Name) + " extracted something else:\n" + diff;
    }
    Shell("chmod -R u+w " + Quote(out(r.Name)) + " 2>/dev/null; rm -rf " + Quote(out(r.Name)));
    return e;
  });
}

std::string CheckMembersWithReaders(const std::string& archive,
                                    const std::map<std::string, std::string>& members) {
  const std::string a = Quote(archive);
  auto sum = [](const std::string& cmd) {
    auto r = Shell("bash -c " + Quote("set -o pipefail; " + cmd + " | cksum"));
    return r.ExitCode == 0 ? r.Output : "failed: " + r.Output;
  };
  struct TChecker {
    const char* Name;
    std::string Test;
    std::function<std::string(const std::string&)> Stream;
  };
  const std::vector<TChecker> checkers = {
      {"unzip", "unzip -tqq " + a, [&](const std::string& m) { return "unzip -p " + a + " " + m; }},
      {"7z", "7z t -bd " + a,
       [&](const std::string& m) { return "7z e -so -bd " + a + " " + m + " 2>/dev/null"; }},
      {"bsdtar", "bsdtar -tf " + a,
       [&](const std::string& m) { return "bsdtar -xOf " + a + " " + m; }},
      {"python", "python3 -c " + Quote(kPythonTest) + " " + a, [&](const std::string& m) {
         return "python3 -c " + Quote(kPythonMember) + " " + a + " " + m;
       }}};
  std::map<std::string, std::string> want;
  for (auto& [member, source] : members)
    want[member] = sum("cat " + Quote(source));
  return SideBySide(checkers.size(), [&](size_t i) {
    const TChecker& c = checkers[i];
    std::string e = Run(std::string(c.Name) + " test", c.Test);
    for (auto& [member, w] : want) {
      std::string got = sum(c.Stream(Quote(member)));
      if (got != w)
        e += std::string(c.Name) + " streamed " + member + " as " + got + " instead of " + w;
    }
    return e;
  });
}

} // namespace ziptest
