#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "projects/UfnProfileFile.h"
#include "projects/UfnProfileText.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testing_support;
using Pairs = std::vector<std::string>;

namespace {

std::string WriteResult(const std::string& initial, const std::string& section,
                        const std::string& key, const std::string& value) {
  TempDir t;
  WriteFile(t / "f.conf", initial);
  ProfileFile(t / "f.conf").WriteValue(section, key, value);
  return ReadFile(t / "f.conf");
}

std::string DeleteResult(const std::string& initial, const std::string& section,
                         const std::string& key) {
  TempDir t;
  WriteFile(t / "f.conf", initial);
  ProfileFile(t / "f.conf").DeleteValue(section, key);
  return ReadFile(t / "f.conf");
}

} // namespace

TEST(ProfileFileRead, AsSvnserveReadsIt) {
  // ":" separates like "=", the last line of a key wins, every section of the name counts,
  // an indented line carries on the value above, "#" in column 0 is a comment and ";" is not,
  // quotes stay.
  TempDir t;
  WriteFile(t / "f.conf", "\xEF\xBB\xBF"
                          "[general]\r\n"
                          "# hidden = no\n"
                          "; other = no\n"
                          "Anon-Access = none\n"
                          "quoted = \"two words\" \n"
                          "eq : a=b\n"
                          "colon = a:b\n"
                          "anon-access: write\n"
                          "[users]\r\n"
                          "# harry = harryssecret\r\n"
                          "bob = b1\r\n"
                          "alice=a1\r\n"
                          "carol=\r\n"
                          "  c1 \r\n"
                          "\tmore\t\r\n"
                          "\r\n"
                          "[general]\n"
                          "late = x\n"
                          "[users]\n"
                          "BOB=b2");
  ProfileFile p(t / "f.conf");
  EXPECT_EQ(p.ReadValue("general", "anon-access", "read"), "write");
  EXPECT_EQ(p.ReadValue("GENERAL", "ANON-ACCESS", "read"), "write");
  EXPECT_EQ(p.ReadValue("general", "quoted", ""), "\"two words\"");
  EXPECT_EQ(p.ReadValue("general", "; other", ""), "no");
  EXPECT_EQ(p.ReadValue("general", "hidden", "d"), "d");
  EXPECT_EQ(p.ReadValue("general", "# hidden", "d"), "d");
  EXPECT_EQ(p.ReadValue("general", "eq", ""), "a=b");
  EXPECT_EQ(p.ReadValue("general", "colon", ""), "a:b");
  EXPECT_EQ(p.ReadValue("general", "late", ""), "x");
  EXPECT_EQ(p.ReadValue("users", "bob", ""), "b2");
  EXPECT_EQ(p.ReadValue("users", "carol", ""), "c1 more");
  EXPECT_EQ(p.ReadValue("users", "harry", "d"), "d");

  Pairs list{"stale"};
  p.ReadPairs("users", list);
  EXPECT_EQ(list, (Pairs{"bob=b2", "alice=a1", "carol=c1 more"}));
  p.ReadPairs("general", list);
  EXPECT_EQ(list, (Pairs{"; other=no", "Anon-Access=write", "quoted=\"two words\"", "eq=a=b",
                         "colon=a:b", "late=x"}));
  p.ReadPairs("nothing", list);
  EXPECT_TRUE(list.empty());
}

TEST(ProfileTextWindowsReading, LinesSectionsCommentsAndKeys) {
  // What the Windows profile functions read, and so what the writer must also satisfy.
  const std::string text = "\xEF\xBB\xBF"
                           "top=outside\r\n"
                           "  [ General ]  \r\n"
                           "# hidden = no\n"
                           "; other = no\r"
                           "\t Anon-Access \t=\t read \t\n"
                           "\n"
                           "quoted = \"two words\" \n"
                           "single='x'\n"
                           "mismatched=\"x'\n"
                           "inner=a\"b\"\n"
                           "eq = a=b\n"
                           "noequals\n"
                           "= empty key\n"
                           "anon-access=second\n"
                           "[general]\n"
                           "late=never\n"
                           "[users]\r\n"
                           "# harry = harryssecret\r\n"
                           "bob = b1\r\n"
                           "alice=a1\r\n"
                           "BOB=b2";
  auto read = [&](const std::string& section, const std::string& key, const std::string& def) {
    std::string value;
    return profile_text::FindValue(text, section, key, value) ? value : def;
  };
  EXPECT_EQ(read("general", "anon-access", "none"), "read");
  EXPECT_EQ(read("GENERAL", "ANON-ACCESS", "none"), "read");
  EXPECT_EQ(read("general", "quoted", ""), "two words");
  EXPECT_EQ(read("general", "single", ""), "x");
  EXPECT_EQ(read("general", "mismatched", ""), "\"x'");
  EXPECT_EQ(read("general", "inner", ""), "a\"b\"");
  EXPECT_EQ(read("general", "eq", ""), "a=b");
  // Comments, lines without "=", keys outside sections and later sections of a name are
  // never read.
  EXPECT_EQ(read("general", "# hidden", "d"), "d");
  EXPECT_EQ(read("general", "hidden", "d"), "d");
  EXPECT_EQ(read("general", "; other", "d"), "d");
  EXPECT_EQ(read("general", "noequals", "d"), "d");
  EXPECT_EQ(read("general", "", "d"), "d");
  EXPECT_EQ(read("general", "top", "d"), "d");
  EXPECT_EQ(read("general", "late", "d"), "d");
  EXPECT_EQ(read("missing", "anon-access", "d"), "d");
  EXPECT_EQ(read("users", "bob", ""), "b1");
  EXPECT_EQ(read("users", "BOB", ""), "b1");

  Pairs list{"stale"};
  profile_text::ListPairs(text, "users", list);
  EXPECT_EQ(list, (Pairs{"bob=b1", "alice=a1"}));
  profile_text::ListPairs(text, "general", list);
  EXPECT_EQ(list, (Pairs{"Anon-Access=read", "quoted=two words", "single=x", "mismatched=\"x'",
                         "inner=a\"b\"", "eq=a=b"}));
  profile_text::ListPairs(text, "nothing", list);
  EXPECT_TRUE(list.empty());
}

// For svnserve only an LF ends a line: a lone CR is part of the line, so a file of lone CRs
// is one line to it, and shows the server's defaults, not what its lines seem to say. A value
// written there would be shown as set while the server goes on without it: it is refused.
TEST(ProfileFileRead, ALoneCrEndsNoLineForSvnserveAndAWriteThatItWouldMissIsRefused) {
  TempDir t;
  const std::string conf = "[general]\ranon-access = none\rpassword-db = passwd\r";
  WriteFile(t / "svnserve.conf", conf);
  ProfileFile p(t / "svnserve.conf");
  EXPECT_EQ(p.ReadValue("general", "anon-access", "read"), "read");
  try {
    p.WriteValue("general", "anon-access", "none");
    ADD_FAILURE() << "a value svnserve does not read was written";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + (t / "svnserve.conf") +
                               ": svnserve would not read the value back (a lone CR ends no "
                               "line for it)");
  }
  EXPECT_EQ(ReadFile(t / "svnserve.conf"), conf);

  // Within a line the CR stays part of the value; at a value's end it is stripped like a blank.
  WriteFile(t / "passwd", "[users]\nkim = p\rw\nlee = l \r\r\n");
  Pairs list;
  ProfileFile(t / "passwd").ReadPairs("users", list);
  EXPECT_EQ(list, (Pairs{"kim=p\rw", "lee=l"}));
  // Where svnserve reads the line written, the CR elsewhere does not stand in the way.
  ProfileFile(t / "passwd").WriteValue("users", "lee", "new");
  EXPECT_EQ(ReadFile(t / "passwd"), "[users]\nkim = p\rw\nlee=new\r\r\n");
}

TEST(ProfileFileRead, MissingOrUnreadableFileGivesDefaults) {
  TempDir t;
  Pairs list{"stale"};
  ProfileFile(t / "none.conf").ReadPairs("users", list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(ProfileFile(t / "none.conf").ReadValue("users", "a", "dflt"), "dflt");
  MakeDirs(t / "dir.conf");
  EXPECT_EQ(ProfileFile(t / "dir.conf").ReadValue("users", "a", "dflt"), "dflt");
  EXPECT_FALSE(Exists(t / "none.conf"));
}

TEST(ProfileFileWrite, ReplacesInPlaceAndDropsLaterDuplicates) {
  // The key's line keeps its place, its spelling and its line end; the indented line moves
  // to column 0; later duplicates, also in a second section of the name and in the form
  // svnserve reads with ":", go, since svnserve takes the last one.
  EXPECT_EQ(WriteResult("[users]\n"
                        "  Alice = old # x\r\n"
                        "bob=b\n"
                        "alice=dup\n"
                        "[other]\n"
                        "alice=keep\n"
                        "[USERS]\n"
                        "alice: colon\n"
                        "carol=c\n",
                        "users", "ALICE", "new"),
            "[users]\n"
            "Alice=new\r\n"
            "bob=b\n"
            "[other]\n"
            "alice=keep\n"
            "[USERS]\n"
            "carol=c\n");
  // The value that is read back is the one written.
  TempDir t;
  WriteFile(t / "f.conf", "[general]\nanon-access = read\n");
  ProfileFile p(t / "f.conf");
  p.WriteValue("general", "anon-access", "none");
  EXPECT_EQ(p.ReadValue("general", "anon-access", ""), "none");
  p.WriteValue("general", "anon-access", "");
  EXPECT_EQ(p.ReadValue("general", "anon-access", "dflt"), "");
  EXPECT_EQ(ReadFile(t / "f.conf"), "[general]\nanon-access=\n");
}

TEST(ProfileFileWrite, PlacesNewKeysAndSections) {
  // After the section's last key line, before its trailing comments and blank lines.
  EXPECT_EQ(WriteResult("[users]\nbob=b\n# note\n\n[next]\nx=1\n", "users", "alice", "a"),
            "[users]\nbob=b\nalice=a\n# note\n\n[next]\nx=1\n");
  // Right after the header of a section holding only comments.
  EXPECT_EQ(WriteResult("# head\n[general]\n# anon-access = read\n\n[sasl]\n", "general",
                        "password-db", "passwd"),
            "# head\n[general]\npassword-db=passwd\n# anon-access = read\n\n[sasl]\n");
  // A missing section goes at the end, after a line end for a file that lacks one, in the
  // file's own line ending.
  EXPECT_EQ(WriteResult("[general]\r\nx=1", "users", "a", "1"),
            "[general]\r\nx=1\r\n[users]\r\na=1\r\n");
  EXPECT_EQ(WriteResult("[general]\nx=1\n", "users", "a", "1"), "[general]\nx=1\n[users]\na=1\n");
  // A line svnserve reads as the key (":" separates there) gives way to the new one.
  EXPECT_EQ(WriteResult("[users]\nalice: old\nbob=b\n", "users", "alice", "new"),
            "[users]\nbob=b\nalice=new\n");
  // A last key line without a line end gets one before the new key.
  EXPECT_EQ(WriteResult("[users]\nbob=b", "users", "a", "1"), "[users]\nbob=b\na=1\n");
  // The byte-order mark stays; an empty file is written in CRLF.
  EXPECT_EQ(WriteResult("\xEF\xBB\xBF[users]\n", "users", "a", "1"), "\xEF\xBB\xBF[users]\na=1\n");
  EXPECT_EQ(WriteResult("", "users", "a", "1"), "[users]\r\na=1\r\n");
}

TEST(ProfileFileWrite, CreatesFileOnlyInExistingFolder) {
  TempDir t;
  ProfileFile(t / "new.conf").WriteValue("users", "alice", "a");
  EXPECT_EQ(ReadFile(t / "new.conf"), "[users]\r\nalice=a\r\n");
  EXPECT_EQ(FileMode(t / "new.conf"), 0644);

  std::string path = t / "conf/passwd";
  try {
    ProfileFile(path).WriteValue("users", "alice", "a");
    FAIL() << "no error";
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + path);
  }
  EXPECT_FALSE(Exists(t / "conf"));
  MakeDirs(t / "dir.conf");
  EXPECT_THROW(ProfileFile(t / "dir.conf").WriteValue("users", "a", "b"), EWriteError);
}

TEST(ProfileFileWrite, KeepsOrSetsPermissionsAndLeavesNoTemporaryFile) {
  TempDir t;
  WriteFile(t / "svnserve.conf", "[general]\n");
  ::chmod((t / "svnserve.conf").c_str(), 0640);
  ProfileFile(t / "svnserve.conf").WriteValue("general", "anon-access", "none");
  EXPECT_EQ(FileMode(t / "svnserve.conf"), 0640);

  WriteFile(t / "passwd", "[users]\n");
  ::chmod((t / "passwd").c_str(), 0644);
  // The given mode is for a new file; an existing one keeps the bits of its owner and group,
  // so that an account that serves the repository can still read it, but not those for others.
  ProfileFile(t / "passwd", 0600).WriteValue("users", "alice", "a");
  EXPECT_EQ(FileMode(t / "passwd"), 0640);
  ProfileFile(t / "new-passwd", 0600).WriteValue("users", "alice", "a");
  EXPECT_EQ(FileMode(t / "new-passwd"), 0600);
  ::unlink((t / "new-passwd").c_str());
  EXPECT_EQ(FolderNames(t.Path()), (std::vector<std::string>{"passwd", "svnserve.conf"}));

  // A read-only file is refused, as the Windows profile functions refuse it.
  ::chmod((t / "passwd").c_str(), 0400);
  EXPECT_THROW(ProfileFile(t / "passwd").WriteValue("users", "bob", "b"), EWriteError);
  ProfileFile(t / "passwd").DeleteValue("users", "alice");
  EXPECT_EQ(ReadFile(t / "passwd"), "[users]\nalice=a\n");
}

TEST(ProfileFileWrite, RefusesWhatWouldNotReadBackAndLeavesTheFile) {
  TempDir t;
  const std::string original = "[users]\r\n# harry = harryssecret\r\nbob=b\r\n";
  WriteFile(t / "passwd", original);
  struct Case {
    std::string Section, Key, Value, Reason;
  };
  const Case cases[] = {
      {"users", "alice", "line\nfeed", "the value holds a line break or a NUL byte"},
      {"users", "alice", "car\rriage", "the value holds a line break or a NUL byte"},
      {"users", "alice", std::string("n\0l", 3), "the value holds a line break or a NUL byte"},
      {"users", "ali\nce", "a", "the key holds a line break or a NUL byte"},
      {"us\r\ners", "alice", "a", "the section name holds a line break or a NUL byte"},
      {"", "alice", "a", "the section name is empty"},
      {" users", "alice", "a", "the section name begins or ends with a blank"},
      {"us]ers", "alice", "a", "the section name holds \"]\""},
      {"users", "", "a", "the key is empty"},
      {"users", "alice ", "a", "the key begins or ends with a blank"},
      {"users", "[alice", "a", "the key begins with \"[\", \"#\" or \";\""},
      {"users", "#alice", "a", "the key begins with \"[\", \"#\" or \";\""},
      {"users", ";alice", "a", "the key begins with \"[\", \"#\" or \";\""},
      {"users", "a=b", "a", "the key holds \"=\" or \":\""},
      {"users", "a:b", "a", "the key holds \"=\" or \":\""},
      {"users", "alice", " a", "the value begins or ends with a blank"},
      {"users", "alice", "a\t", "the value begins or ends with a blank"},
      {"users", "alice", "\"a\"", "the value is wrapped in quotes"},
      {"users", "alice", "'a'", "the value is wrapped in quotes"},
  };
  for (const Case& c : cases) {
    try {
      ProfileFile(t / "passwd").WriteValue(c.Section, c.Key, c.Value);
      ADD_FAILURE() << "accepted key " << c.Key << " value " << c.Value;
    } catch (const EWriteError& e) {
      EXPECT_EQ(e.Message(), "Unable to write to " + (t / "passwd") + ": " + c.Reason);
    }
    EXPECT_EQ(ReadFile(t / "passwd"), original);
  }
  // Quotes inside, a lone quote and blanks inside are written as they are.
  ProfileFile p(t / "passwd");
  for (const std::string v : {"\"a'", "a b", "\"", "it's"}) {
    p.WriteValue("users", "alice", v);
    EXPECT_EQ(p.ReadValue("users", "alice", ""), v);
  }
  EXPECT_EQ(FolderNames(t.Path()), (std::vector<std::string>{"passwd"}));
}

// svnserve reads indented lines right after a key line as more of its value: they go with
// the key and never end up below another one. One after a blank line or a comment stays.
TEST(ProfileFileWrite, IndentedLinesStayWithTheValueTheyCarryOn) {
  EXPECT_EQ(
      DeleteResult("[users]\nalice=a\n  more\nbob=b\n\tof bob\nc=d\n\n  stray\n", "users", "alice"),
      "[users]\nbob=b\n\tof bob\nc=d\n\n  stray\n");
  EXPECT_EQ(WriteResult("[users]\nbob=b\n  more\n\t and more\n# note\n  not bob's\n", "users",
                        "bob", "new"),
            "[users]\nbob=new\n# note\n  not bob's\n");
  // A new key goes below the last key's indented lines, not between them.
  EXPECT_EQ(WriteResult("[users]\nbob=b\n  more\n[other]\n", "users", "carol", "c"),
            "[users]\nbob=b\n  more\ncarol=c\n[other]\n");
  // An indented key line is rewritten from column 0; what is indented below it goes.
  EXPECT_EQ(WriteResult("[users]\n# note\n  bob = b\n  x = 1\n\n", "users", "bob", "new"),
            "[users]\n# note\nbob=new\n\n");
}

TEST(ProfileFileWrite, ANewLineTakesTheLineEndOfTheLineAbove) {
  // After a lone CR, an LF would join the following empty line's LF into one CR LF. (The
  // text edit alone: svnserve reads no [users] in these, so the file itself is refused.)
  EXPECT_EQ(profile_text::SetValue("[a]\rk=v\r[users]\nbob=b\n\n[b]\n", "users", "carol", "c"),
            "[a]\rk=v\r[users]\nbob=b\ncarol=c\n\n[b]\n");
  EXPECT_EQ(profile_text::SetValue("[a]\rk=v\r[users]\r\nbob=b\r\n", "users", "carol", "c"),
            "[a]\rk=v\r[users]\r\nbob=b\r\ncarol=c\r\n");
  // Nor when a line goes from between them: the blank line gets a CR LF of its own.
  EXPECT_EQ(DeleteResult("[users]\rbob=b\rcarol=c\n\nx=1\n", "users", "carol"),
            "[users]\rbob=b\r\r\nx=1\n");
}

TEST(ProfileFileDelete, RemovesEveryLineOfTheKeyOnly) {
  EXPECT_EQ(DeleteResult("[users]\nalice=a\n# alice=comment\nbob=b\n  ALICE = x\n"
                         "[other]\nalice=o\n[users]\nalice:late\n",
                         "users", "Alice"),
            "[users]\n# alice=comment\nbob=b\n[other]\nalice=o\n[users]\n");
  EXPECT_EQ(DeleteResult("[users]\nalice=a", "users", "alice"), "[users]\n");

  // A missing key, section or file changes nothing and creates nothing.
  TempDir t;
  const std::string original = "[users]\r\nbob=b";
  WriteFile(t / "passwd", original);
  ::chmod((t / "passwd").c_str(), 0644);
  ProfileFile(t / "passwd", 0600).DeleteValue("users", "alice");
  ProfileFile(t / "passwd", 0600).DeleteValue("general", "bob");
  EXPECT_EQ(ReadFile(t / "passwd"), original);
  EXPECT_EQ(FileMode(t / "passwd"), 0644);
  ProfileFile(t / "none").DeleteValue("users", "bob");
  ProfileFile(t / "no/such/passwd").DeleteValue("users", "bob");
  EXPECT_EQ(FolderNames(t.Path()), (std::vector<std::string>{"passwd"}));
}
