// The component text format, writer and reader, on the settings object.
#include "base/UfnErrors.h"
#include "platform/UfnPlatform.h"
#include "settings/UclsBasicSetting.h"
#include "settings/UfnComponentText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <typeinfo>

namespace {

const std::string Header = "object TclsBasicSetting\r\n";

// The class and message of what reading `text` into `s` raises ("none" when nothing).
std::string Fault(const std::string& text, TclsBasicSetting& s) {
  try {
    ReadComponentText(text, s);
  } catch (const EParserError& e) {
    return std::string("EParserError: ") + e.what();
  } catch (const EConvertError& e) {
    return std::string("EConvertError: ") + e.what();
  } catch (const EClassNotFound& e) {
    return std::string("EClassNotFound: ") + e.what();
  } catch (const EReadError& e) {
    return std::string("EReadError: ") + e.what();
  } catch (const std::exception& e) {
    return std::string("other ") + typeid(e).name() + ": " + e.what();
  }
  return "none";
}

std::string Fault(const std::string& text) {
  TclsBasicSetting s;
  return Fault(text, s);
}

// A text with the given property lines.
std::string Text(const std::string& lines) {
  return Header + lines + "end\r\n";
}

// A byte string from a literal, NUL bytes included.
template <size_t N> std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i)
    out += s;
  return out;
}

// The value line(s) that the writer gives RepoPath.
std::string RepoLines(const std::string& value) {
  TclsBasicSetting s;
  s.RepoPath = value;
  std::string t = WriteComponentText(s);
  const std::string start = "  RepoPath = ";
  auto a = t.find(start);
  auto b = t.find("  Port = ");
  return t.substr(a, b - a);
}

} // namespace

// ---- the writer ----------------------------------------------------------------------------

TEST(ComponentTextWriter, The156ByteExample) {
  TclsBasicSetting s;
  s.SVNPath = "C:\\Program Files\\SubVersion";
  s.RepoPath = "D:\\SVN\\Repositories";
  s.BackupPath = "E:\\Backup\\SVN";
  s.SetPort(3690);
  const std::string expected = "object TclsBasicSetting\r\n"
                               "  SVNPath = 'C:\\Program Files\\SubVersion'\r\n"
                               "  RepoPath = 'D:\\SVN\\Repositories'\r\n"
                               "  BackupPath = 'E:\\Backup\\SVN'\r\n"
                               "  Port = 3690\r\n"
                               "end\r\n";
  std::string text = WriteComponentText(s);
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.size(), 156u);
}

TEST(ComponentTextWriter, The45ByteExampleAndAFreshObject) {
  const std::string expected = "object TclsBasicSetting\r\n  Port = 3690\r\nend\r\n";
  TclsBasicSetting fresh; // port 0 stored: GetPort gives and stores 3690
  EXPECT_EQ(WriteComponentText(fresh), expected);
  EXPECT_EQ(expected.size(), 45u);
  TclsBasicSetting s;
  s.SetPort(3690);
  EXPECT_EQ(WriteComponentText(s), expected);
}

TEST(ComponentTextWriter, HangulApostropheAndTab) {
  EXPECT_EQ(RepoLines("D:\\\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C"), // D:\저장소 in UTF-8
            "  RepoPath = 'D:\\'#51200#51109#49548\r\n");
  EXPECT_EQ(RepoLines("E:\\Admin's Backup"), "  RepoPath = 'E:\\Admin'#39's Backup'\r\n");
  EXPECT_EQ(RepoLines("a\tb"), "  RepoPath = 'a'#9'b'\r\n");
  EXPECT_EQ(RepoLines("'"), "  RepoPath = #39\r\n");
  EXPECT_EQ(RepoLines("x\x7F~ "), "  RepoPath = 'x\x7F~ '\r\n"); // 32..127 are plain
  EXPECT_EQ(RepoLines("\x01\x1F"), "  RepoPath = #1#31\r\n");
  EXPECT_EQ(RepoLines(std::string("a\0b", 3)), "  RepoPath = 'a'#0'b'\r\n");
  // A character outside the Basic Multilingual Plane gives two UTF-16 units.
  EXPECT_EQ(RepoLines("\xF0\x9F\x98\x80"), "  RepoPath = #55357#56832\r\n");
  // Once one byte is 128 or above, the units are UTF-16: an é is one unit.
  EXPECT_EQ(RepoLines("caf\xC3\xA9"), "  RepoPath = 'caf'#233\r\n");
}

TEST(ComponentTextWriter, The66CharacterFolder) {
  const std::string folder =
      "D:\\Projects\\Team Alpha\\Source Control\\Subversion Repositories\\Main";
  ASSERT_EQ(folder.size(), 66u);
  EXPECT_EQ(RepoLines(folder),
            "  RepoPath = \r\n"
            "    'D:\\Projects\\Team Alpha\\Source Control\\Subversion Repositories\\Ma' +\r\n"
            "    'in'\r\n");
}

TEST(ComponentTextWriter, LineBreakingAt64Units) {
  const std::string a64 = Repeat("a", 64);
  EXPECT_EQ(RepoLines(a64), "  RepoPath = '" + a64 + "'\r\n");
  EXPECT_EQ(RepoLines(a64 + "b"), "  RepoPath = \r\n    '" + a64 + "' +\r\n    'b'\r\n");
  EXPECT_EQ(RepoLines(a64 + a64), "  RepoPath = \r\n    '" + a64 + "' +\r\n    '" + a64 + "'\r\n");
  EXPECT_EQ(RepoLines(a64 + a64 + "c"),
            "  RepoPath = \r\n    '" + a64 + "' +\r\n    '" + a64 + "' +\r\n    'c'\r\n");
}

TEST(ComponentTextWriter, AnEscapeCountsAsOneUnit) {
  const std::string ga = "\xEA\xB0\x80"; // 가 U+AC00 = 44032
  EXPECT_EQ(RepoLines(Repeat(ga, 64)), "  RepoPath = " + Repeat("#44032", 64) + "\r\n");
  EXPECT_EQ(RepoLines(Repeat(ga, 65)),
            "  RepoPath = \r\n    " + Repeat("#44032", 64) + " +\r\n    #44032\r\n");
  // A quoted run that reaches the count of 64 ends there, in the middle of plain text.
  std::string v = Repeat(ga, 60) + Repeat("x", 10);
  EXPECT_EQ(RepoLines(v),
            "  RepoPath = \r\n    " + Repeat("#44032", 60) + "'xxxx' +\r\n    'xxxxxx'\r\n");
  // Tabs inside a long value.
  std::string t = Repeat("a", 63) + "\t\t" + "b";
  EXPECT_EQ(RepoLines(t), "  RepoPath = \r\n    '" + Repeat("a", 63) + "'#9 +\r\n    #9'b'\r\n");
}

TEST(ComponentTextWriter, BaseKeysNameTagLeftTopAndIntegers) {
  TclsBasicSetting s;
  s.SetName("Main");
  s.Tag = -7;
  s.Left = 65535;
  s.Top = 12;
  s.SVNPath = "/usr";
  s.SetPort(-1);
  EXPECT_EQ(WriteComponentText(s), "object Main: TclsBasicSetting\r\n"
                                   "  Tag = -7\r\n"
                                   "  SVNPath = '/usr'\r\n"
                                   "  Port = -1\r\n"
                                   "  Left = 65535\r\n"
                                   "  Top = 12\r\n"
                                   "end\r\n");
  s.Tag = 0;
  s.Left = 0;
  s.SetPort(INT32_MIN);
  EXPECT_EQ(WriteComponentText(s), "object Main: TclsBasicSetting\r\n"
                                   "  SVNPath = '/usr'\r\n"
                                   "  Port = -2147483648\r\n"
                                   "  Top = 12\r\n"
                                   "end\r\n");
}

TEST(ComponentTextWriter, AStreamThatTakesFewerBytesIsAWriteError) {
  TclsBasicSetting s;
  s.SVNPath = "C:\\Program Files\\SubVersion";
  s.RepoPath = Repeat("r", 100);
  const std::string full = WriteComponentText(s);
  for (size_t capacity = 0; capacity < full.size(); ++capacity) {
    TStringOutput out(capacity);
    try {
      WriteComponentText(s, out);
      ADD_FAILURE() << "no error at capacity " << capacity;
    } catch (const EWriteError& e) {
      EXPECT_STREQ(e.what(), "Stream write error");
    }
    EXPECT_EQ(out.Data(), full.substr(0, capacity));
  }
  TStringOutput exact(full.size());
  WriteComponentText(s, exact);
  EXPECT_EQ(exact.Data(), full);
}

// Plain units are 32 to 127, so DEL (127) stands in a quoted run;
// everything else outside 32..126 is an escape.
TEST(ComponentTextWriter, WritesOnlyAsciiFrom32To127AndLineEnds) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    TclsBasicSetting s;
    std::string v;
    size_t n = rng() % 300;
    for (size_t i = 0; i < n; ++i)
      v += static_cast<char>(rng() % 256);
    s.BackupPath = v;
    for (char ch : WriteComponentText(s)) {
      const auto c = static_cast<unsigned char>(ch);
      ASSERT_TRUE((c >= 32 && c <= 127) || c == '\r' || c == '\n') << int(c);
    }
  }
}

// ---- round trips ---------------------------------------------------------------------------

TEST(ComponentTextRoundTrip, TheWritersOutputReadsBackToTheSameObject) {
  TclsBasicSetting a;
  a.SetName("Main_2");
  a.Tag = 123456;
  a.Left = 300;
  a.Top = 65535;
  a.SVNPath = "D:\\\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C";
  a.RepoPath = "E:\\Admin's Backup\tand more " + Repeat("\xEA\xB0\x80x'", 50);
  a.BackupPath = std::string("nul\0in the middle", 17) + "\xF0\x9F\x98\x80";
  a.SetPort(54321);
  const std::string text = WriteComponentText(a);
  TclsBasicSetting b;
  ReadComponentText(text, b);
  EXPECT_EQ(b.GetName(), "Main_2");
  EXPECT_EQ(b.Tag, 123456);
  EXPECT_EQ(b.Left, 300);
  EXPECT_EQ(b.Top, 65535);
  EXPECT_EQ(b.SVNPath, a.SVNPath);
  EXPECT_EQ(b.RepoPath, a.RepoPath);
  EXPECT_EQ(b.BackupPath, a.BackupPath);
  EXPECT_EQ(b.GetPort(), 54321);
  EXPECT_EQ(WriteComponentText(b), text);
}

TEST(ComponentTextRoundTrip, RandomObjects) {
  std::mt19937 rng(2024);
  auto randomText = [&](size_t maxUnits) {
    std::u16string w;
    size_t n = rng() % maxUnits;
    for (size_t i = 0; i < n; ++i) {
      switch (rng() % 4) {
      case 0:
        w += static_cast<char16_t>(rng() % 128);
        break;
      case 1:
        w += static_cast<char16_t>(32 + rng() % 95);
        break;
      case 2:
        w += static_cast<char16_t>(0xAC00 + rng() % 11172);
        break;
      default:
        w += u"\U0001F600";
        break;
      }
    }
    return platform::WideToAnsi(w);
  };
  for (int round = 0; round < 300; ++round) {
    TclsBasicSetting a;
    a.SVNPath = randomText(200);
    a.RepoPath = randomText(70);
    a.BackupPath = randomText(140);
    a.SetPort(static_cast<int32_t>(1 + rng() % 65535));
    a.Tag = static_cast<int32_t>(rng());
    a.Left = static_cast<uint16_t>(rng());
    a.Top = static_cast<uint16_t>(rng());
    const std::string text = WriteComponentText(a);
    TclsBasicSetting b;
    ASSERT_EQ(Fault(text, b), "none") << text;
    ASSERT_EQ(b.SVNPath, a.SVNPath);
    ASSERT_EQ(b.RepoPath, a.RepoPath);
    ASSERT_EQ(b.BackupPath, a.BackupPath);
    ASSERT_EQ(b.GetPort(), a.GetPort());
    ASSERT_EQ(b.Tag, a.Tag);
    ASSERT_EQ(b.Left, a.Left);
    ASSERT_EQ(b.Top, a.Top);
  }
}

// A folder name that is no UTF-8 (any bytes but "/" and NUL make a Linux name) would come
// back through UTF-16 as other bytes: it is written as its bytes, which a reader that takes
// strings only refuses instead of reading another folder.
TEST(ComponentTextRoundTrip, ANameThatIsNoUtf8IsKeptAsItsBytes) {
  if (!platform::CodePageMayHoldRawBytes()) {
    EXPECT_EQ(Fault(Text("  RepoPath = {2F61}\r\n")),
              "EReadError: Error reading TclsBasicSetting.RepoPath: Invalid property value");
    return;
  }
  EXPECT_EQ(RepoLines("/srv/caf\xE9"), "  RepoPath = {2F7372762F636166E9}\r\n");
  EXPECT_EQ(RepoLines("/srv/\xED\xA0\x80"), "  RepoPath = {2F7372762FEDA080}\r\n"); // a surrogate
  EXPECT_EQ(RepoLines("/srv/\xC0\xAF"), "  RepoPath = {2F7372762FC0AF}\r\n");       // overlong
  // 32 bytes stay on the property line; 33 start on their own, 32 bytes to a line.
  EXPECT_EQ(RepoLines("\xFF" + Repeat("a", 31)), "  RepoPath = {FF" + Repeat("61", 31) + "}\r\n");
  EXPECT_EQ(RepoLines("\xFF" + Repeat("a", 32)),
            "  RepoPath = {\r\n    FF" + Repeat("61", 31) + "\r\n    61}\r\n");
  // Valid UTF-8 keeps its readable form.
  EXPECT_EQ(RepoLines("/srv/caf\xC3\xA9"), "  RepoPath = '/srv/caf'#233\r\n");

  std::mt19937 rng(16);
  for (int round = 0; round < 300; ++round) {
    TclsBasicSetting a;
    for (std::string* v : {&a.SVNPath, &a.RepoPath, &a.BackupPath}) {
      const size_t n = rng() % 200;
      for (size_t i = 0; i < n; ++i)
        *v += static_cast<char>(1 + rng() % 255);
    }
    const std::string text = WriteComponentText(a);
    TclsBasicSetting b;
    ASSERT_EQ(Fault(text, b), "none") << text;
    ASSERT_EQ(b.SVNPath, a.SVNPath);
    ASSERT_EQ(b.RepoPath, a.RepoPath);
    ASSERT_EQ(b.BackupPath, a.BackupPath);
    ASSERT_EQ(WriteComponentText(b), text);
  }
}

TEST(ComponentTextReader, BytesForAString) {
  if (!platform::CodePageMayHoldRawBytes()) GTEST_SKIP() << "strings are text of the code page";
  TclsBasicSetting s;
  ReadComponentText(Text("  RepoPath = {2f 73\r\n  72 76 FF}\r\n  BackupPath = {}\r\n"), s);
  EXPECT_EQ(s.RepoPath, "/srv\xFF");
  EXPECT_EQ(s.BackupPath, "");
  // A zero byte would cut the name short where the system takes it: refused, as before.
  EXPECT_EQ(Fault(Text("  RepoPath = {2F00}\r\n")),
            "EReadError: Error reading TclsBasicSetting.RepoPath: Invalid property value");
  EXPECT_EQ(Fault(Text("  RepoPath = {2F0}\r\n")), "EParserError: Invalid binary value on line 2");
}

// ---- reading: values and keys --------------------------------------------------------------

TEST(ComponentTextReader, TheHangulLineReadsBackToTheSameBytes) {
  TclsBasicSetting s;
  ReadComponentText(Text("  RepoPath = 'D:\\'#51200#51109#49548\r\n"), s);
  EXPECT_EQ(s.RepoPath, "D:\\\xEC\xA0\x80\xEC\x9E\xA5\xEC\x86\x8C");
  ReadComponentText(Text("  BackupPath = 'E:\\Admin'#39's Backup'\r\n"
                         "  SVNPath = 'a'#9'b'\r\n"),
                    s);
  EXPECT_EQ(s.BackupPath, "E:\\Admin's Backup");
  EXPECT_EQ(s.SVNPath, "a\tb");
}

TEST(ComponentTextReader, StringTokens) {
  TclsBasicSetting s;
  ReadComponentText(Text("  SVNPath = 'it''s'\r\n"), s);
  EXPECT_EQ(s.SVNPath, "it's");
  ReadComponentText(Text("  SVNPath = 'a' + 'b'+#99 +\r\n  'd'#101\r\n"), s);
  EXPECT_EQ(s.SVNPath, "abcde");
  // Narrow and wide tokens joined by plus signs in any order.
  ReadComponentText(Text("  SVNPath = 'x' + #51200 + 'y'\r\n"), s);
  EXPECT_EQ(s.SVNPath, "x\xEC\xA0\x80y");
  // A narrow token is decoded from the system code page (UTF-8 here): a hand-edited file may
  // hold the folder in plain UTF-8.
  ReadComponentText(Text("  SVNPath = 'D:\\\xEC\xA0\x80'\r\n"), s);
  EXPECT_EQ(s.SVNPath, "D:\\\xEC\xA0\x80");
  // In a wide token each quoted byte is the character of that code (0 to 255).
  ReadComponentText(Text("  SVNPath = '\xC3\xA9'#300\r\n"), s);
  EXPECT_EQ(s.SVNPath, "\xC3\x83\xC2\xA9\xC4\xAC");
  // "#" without digits is 0; an escape takes the low 16 bits of its value.
  ReadComponentText(Text("  SVNPath = 'a'#'b'\r\n  RepoPath = #65601#65536#131\r\n"), s);
  EXPECT_EQ(s.SVNPath, std::string("a\0b", 3));
  EXPECT_EQ(s.RepoPath, std::string("A\0\xC2\x83", 4));
  // A lone surrogate becomes "?", the code page's default character.
  ReadComponentText(Text("  SVNPath = #55357'x'\r\n"), s);
  EXPECT_EQ(s.SVNPath, "?x");
  // An empty string.
  ReadComponentText(Text("  SVNPath = ''\r\n"), s);
  EXPECT_EQ(s.SVNPath, "");
}

TEST(ComponentTextReader, IntegersInDecimalAndHexadecimal) {
  TclsBasicSetting s;
  ReadComponentText(Text("  Port = $E6A\r\n"), s);
  EXPECT_EQ(s.GetPort(), 3690);
  // The whole 32-bit range, on an integer property without a range of its own.
  ReadComponentText(Text("  Tag = -1\r\n"), s);
  EXPECT_EQ(s.Tag, -1);
  ReadComponentText(Text("  Tag = 70000\r\n"), s);
  EXPECT_EQ(s.Tag, 70000);
  ReadComponentText(Text("  Port = 0\r\n"), s);
  EXPECT_EQ(s.GetPort(), 3690);
  ReadComponentText(Text("  Port = 000123\r\n"), s);
  EXPECT_EQ(s.GetPort(), 123);
  ReadComponentText(Text("  Tag = -2147483648\r\n"), s);
  EXPECT_EQ(s.Tag, INT32_MIN);
  ReadComponentText(Text("  Tag = $7FFFFFFF\r\n"), s);
  EXPECT_EQ(s.Tag, INT32_MAX);
}

TEST(ComponentTextReader, KeysIgnoreCaseComeInAnyOrderAndTheLastOneHolds) {
  TclsBasicSetting s;
  ReadComponentText(Text("  port = 3691\r\n"
                         "  BACKUPPATH = 'b'\r\n"
                         "  svnpath = 's1'\r\n"
                         "  SvnPath = 's2'\r\n"
                         "  Port = 3692\r\n"
                         "  PORT = 3693\r\n"),
                    s);
  EXPECT_EQ(s.GetPort(), 3693);
  EXPECT_EQ(s.SVNPath, "s2");
  EXPECT_EQ(s.BackupPath, "b");
  TclsBasicSetting t;
  ReadComponentText(Text("  port = 3691\r\n"), t);
  EXPECT_EQ(t.GetPort(), 3691);
}

TEST(ComponentTextReader, HeadersAndTheObjectName) {
  TclsBasicSetting s;
  ReadComponentText("object Anything\r\n  Port = 1\r\nend\r\n", s);
  EXPECT_EQ(s.GetPort(), 1);
  EXPECT_EQ(s.GetName(), "");
  ReadComponentText("object Main: TclsBasicSetting\r\n  Port = 2\r\nend\r\n", s);
  EXPECT_EQ(s.GetName(), "Main");
  EXPECT_EQ(WriteComponentText(s), "object Main: TclsBasicSetting\r\n  Port = 2\r\nend\r\n");
  // A header without an object name clears the name.
  ReadComponentText("OBJECT TclsBasicSetting [5]\r\nEND\r\n", s);
  EXPECT_EQ(s.GetName(), "");
  ReadComponentText("inherited Main:Other[-1] Port=3 end", s);
  EXPECT_EQ(s.GetName(), "Main");
  EXPECT_EQ(s.GetPort(), 3);
  ReadComponentText("Inline X : Y end", s);
  EXPECT_EQ(s.GetName(), "X");
  // The Name key sets the name, which the errors then use.
  ReadComponentText(Text("  Name = 'Second'\r\n"), s);
  EXPECT_EQ(s.GetName(), "Second");
  EXPECT_EQ(Fault(Text("  Name = 'Third'\r\n  Foo = 1\r\n"), s),
            "EReadError: Error reading Third.Foo: Property Foo does not exist");
  EXPECT_EQ(s.GetName(), "Third");
  EXPECT_EQ(Fault(Text("  Name = 'x y'\r\n"), s),
            "EReadError: Error reading TclsBasicSetting.Name: ''x y'' is not a valid component "
            "name");
  ReadComponentText(Text("  Name = ''\r\n"), s);
  EXPECT_EQ(s.GetName(), "");
}

TEST(ComponentTextReader, BaseKeysTagLeftTop) {
  TclsBasicSetting s;
  ReadComponentText(Text("  Tag = -5\r\n  Left = 70000\r\n  Top = -1\r\n"), s);
  EXPECT_EQ(s.Tag, -5);
  EXPECT_EQ(s.Left, 70000 & 0xFFFF);
  EXPECT_EQ(s.Top, 65535);
  EXPECT_EQ(WriteComponentText(s), Header + "  Tag = -5\r\n  Port = 3690\r\n  Left = 4464\r\n"
                                            "  Top = 65535\r\nend\r\n");
  EXPECT_EQ(Fault(Text("  Left = 4294967296\r\n")),
            "EReadError: Error reading TclsBasicSetting.Left: Invalid property value");
  EXPECT_EQ(Fault(Text("  Tag = 'x'\r\n")),
            "EReadError: Error reading TclsBasicSetting.Tag: Invalid property value");
}

TEST(ComponentTextReader, TextAfterTheClosingEndIsIgnored) {
  TclsBasicSetting s;
  ReadComponentText(Text("  Port = 5\r\n") + "object Second\r\n  Port = 6\r\nend\r\n", s);
  EXPECT_EQ(s.GetPort(), 5);
  ReadComponentText(Text("  Port = 7\r\n") + "}}} ((( 'ok' \x01\xFF garbage", s);
  EXPECT_EQ(s.GetPort(), 7);
  EXPECT_EQ(Fault("object X end\r\n"), "none");
  EXPECT_EQ(Fault("object X end 'open\r\nmore"), "EParserError: Invalid string constant on line 1");
  EXPECT_EQ(Fault("object X end\r\n\r\n  'open"),
            "EParserError: Invalid string constant on line 3");
  // Only the one token right after end is scanned.
  EXPECT_EQ(Fault("object X end 'closed' 'open"), "none");
  EXPECT_EQ(Fault("object X end 99999999999999999999999"), "none");
}

TEST(ComponentTextReader, ANulByteEndsTheText) {
  TclsBasicSetting s;
  ReadComponentText(Bytes("object X\r\n  Port = 9\r\nend\0  'open"), s);
  EXPECT_EQ(s.GetPort(), 9);
  EXPECT_EQ(Fault(Bytes("object X\r\n  Port = 9\0\r\nend\r\n")),
            "EParserError: Identifier expected on line 2");
  EXPECT_EQ(Fault(Bytes("object X\r\n  SVNPath = 'a\0b'\r\nend\r\n")),
            "EParserError: Invalid string constant on line 2");
}

TEST(ComponentTextReader, LinesAreCountedByLineFeeds) {
  EXPECT_EQ(Fault("object X\r\n\r\n\n\r\n  Port 1\r\nend\r\n"),
            "EParserError: ''='' expected on line 5");
  EXPECT_EQ(Fault("object X\r  Port 1\rend\r"), "EParserError: ''='' expected on line 1");
  // Every byte from 1 to 32 is a blank.
  EXPECT_EQ(Fault("object\x01X\x1F\x0B\x0CPort\t=\x7\x2\x3\x4\x5 1 end"), "none");
}

// ---- the other value kinds parse, and are refused in phase 2 --------------------------------

TEST(ComponentTextReader, EveryValueKindParses) {
  // Keys that are not properties are refused only in phase 2, after the whole text parsed.
  const char* values[] = {
      "'s'",
      "'s' + #51200 + 'x'",
      "12",
      "$FF",
      "-3",
      "1.5",
      "-1.5e10",
      "2E-3",
      "1.5s",
      "2C",
      "3.25d",
      "7S",
      "1e+5D",
      "True",
      "false",
      "NIL",
      "null",
      "clRed",
      "Some.Dotted.Name",
      "()",
      "(1 'a' (2 3) [x] <> {00} True 1.5)",
      "[]",
      "[a]",
      "[a, b, 1, $2, _c]",
      "<>",
      "<item end>",
      "<item Caption = 'x' Sub.Key = (1 2) end item [2] end ITEM [$3] Inner = <item end> END>",
      "{}",
      "{0A1b}",
      "{ 00 ff\r\n  10 }",
  };
  for (const char* v : values) {
    TclsBasicSetting s;
    std::string text = Text("  Port = 11\r\n  Foo = " + std::string(v) + "\r\n  Port = 12\r\n");
    EXPECT_EQ(Fault(text, s),
              "EReadError: Error reading TclsBasicSetting.Foo: Property Foo does not exist")
        << v;
    EXPECT_EQ(s.GetPort(), 11) << v;
  }
}

TEST(ComponentTextReader, PairingsThatArePhaseTwoRefusals) {
  const char* notIntegers[] = {"'3690'",     "3690.0",      "1.5s",      "True",
                               "nil",        "Null",        "X.Y",       "(3690)",
                               "[3690]",     "<>",          "{0E6A}",    "4294967296",
                               "2147483648", "-2147483649", "$80000000", "#51200"};
  for (const char* v : notIntegers)
    EXPECT_EQ(Fault(Text("  Port = " + std::string(v) + "\r\n")),
              "EReadError: Error reading TclsBasicSetting.Port: Invalid property value")
        << v;
  const char* notStrings[] = {"5",   "$5",    "-5",  "5.0",        "False", "nil",
                              "a.b", "('x')", "[x]", "<item end>", "{00}"};
  for (const char* v : notStrings)
    EXPECT_EQ(Fault(Text("  SVNPath = " + std::string(v) + "\r\n")),
              "EReadError: Error reading TclsBasicSetting.SVNPath: Invalid property value")
        << v;
}

TEST(ComponentTextReader, UnknownKeysAndDottedKeys) {
  TclsBasicSetting s;
  EXPECT_EQ(
      Fault(Text("  SVNPath = 'one'\r\n  Port = 4000\r\n  Foo = 1\r\n  RepoPath = 'no'\r\n"), s),
      "EReadError: Error reading TclsBasicSetting.Foo: Property Foo does not exist");
  EXPECT_EQ(s.SVNPath, "one");
  EXPECT_EQ(s.GetPort(), 4000);
  EXPECT_EQ(s.RepoPath, "");
  EXPECT_EQ(Fault(Text("  foo = 1\r\n")),
            "EReadError: Error reading TclsBasicSetting.foo: Property foo does not exist");
  EXPECT_EQ(Fault(Text("  Port.Value = 1\r\n")),
            "EReadError: Error reading TclsBasicSetting.Port.Value: Invalid property path");
  EXPECT_EQ(Fault(Text("  svnpath . a . b = 'x'\r\n")),
            "EReadError: Error reading TclsBasicSetting.svnpath.a.b: Invalid property path");
  EXPECT_EQ(Fault(Text("  Font.Name = 'x'\r\n")),
            "EReadError: Error reading TclsBasicSetting.Font.Name: Property Font does not exist");
  EXPECT_EQ(Fault(Text("  Left.X = 1\r\n")),
            "EReadError: Error reading TclsBasicSetting.Left.X: Invalid property path");
  // ConfigFile is a field, not a persisted property.
  EXPECT_EQ(Fault(Text("  ConfigFile = 'x'\r\n")),
            "EReadError: Error reading TclsBasicSetting.ConfigFile: Property ConfigFile does not "
            "exist");
}

TEST(ComponentTextReader, AChildObjectIsAClassThatIsNotFound) {
  TclsBasicSetting s;
  EXPECT_EQ(Fault(Text("  Port = 5\r\n  object Child: TButton\r\n    Caption = 'x'\r\n"
                       "    object Grandchild: TDeeper\r\n    end\r\n  end\r\n"
                       "  inline Other: TFrame end\r\n"),
                  s),
            "EClassNotFound: Class TButton not found");
  EXPECT_EQ(s.GetPort(), 5);
  EXPECT_EQ(Fault(Text("  inherited Kid: TPanel\r\n  end\r\n")),
            "EClassNotFound: Class TPanel not found");
  // A refused property comes first: properties are assigned before children are looked up.
  EXPECT_EQ(Fault(Text("  Foo = 1\r\n  object C: TX end\r\n")),
            "EReadError: Error reading TclsBasicSetting.Foo: Property Foo does not exist");
  // Properties cannot follow a child object.
  EXPECT_EQ(Fault(Text("  object C: TX end\r\n  Port = 1\r\n")),
            "EParserError: OBJECT expected on line 3");
}

// ---- phase 1 faults ------------------------------------------------------------------------

TEST(ComponentTextReader, TheSettingsFileExamples) {
  EXPECT_EQ(Fault(""), "EParserError: OBJECT expected on line 1");
  EXPECT_EQ(Fault("\xEF\xBB\xBF" + Text("  Port = 1\r\n")),
            "EParserError: OBJECT expected on line 1");
  EXPECT_EQ(Fault(Header + "  Port = 3690\r\n"), "EParserError: Identifier expected on line 3");
}

TEST(ComponentTextReader, EveryParseFaultWithItsLine) {
  struct Case {
    std::string text, fault;
  } cases[] = {
      {"   \r\n\r\n", "EParserError: OBJECT expected on line 3"},
      {"objects X end", "EParserError: OBJECT expected on line 1"},
      {"'object' X end", "EParserError: OBJECT expected on line 1"},
      {"object\r\n", "EParserError: Identifier expected on line 2"},
      {"object 5 end", "EParserError: Identifier expected on line 1"},
      {"object A:\r\n 5 end", "EParserError: Identifier expected on line 2"},
      {"object A [x] end", "EParserError: Number expected on line 1"},
      {"object A [1.5] end", "EParserError: Number expected on line 1"},
      {"object A [1 end", "EParserError: '']'' expected on line 1"},
      {Text("  5 = 1\r\n"), "EParserError: Identifier expected on line 2"},
      {Text("  Port. = 1\r\n"), "EParserError: Identifier expected on line 2"},
      {Text("  Port.5 = 1\r\n"), "EParserError: Identifier expected on line 2"},
      {Text("  Port 1\r\n"), "EParserError: ''='' expected on line 2"},
      {Text("  Port : 1\r\n"), "EParserError: ''='' expected on line 2"},
      // A bare "end" after the equals sign is a name value; the text then lacks its end.
      {Text("  Port =\r\n"), "EParserError: Identifier expected on line 4"},
      {Header + "  Port =", "EParserError: Invalid property value on line 2"},
      {Text("  Port = +1\r\n"), "EParserError: Invalid property value on line 2"},
      {Text("  Port = )\r\n"), "EParserError: Invalid property value on line 2"},
      {Text("  Port = =\r\n"), "EParserError: Invalid property value on line 2"},
      {Text("  Port = \xC3\xA9\r\n"), "EParserError: Invalid property value on line 2"},
      {Text("  SVNPath = 'abc\r\n"), "EParserError: Invalid string constant on line 2"},
      {Text("  SVNPath = 'a'#1'b\r\n"), "EParserError: Invalid string constant on line 2"},
      {Header + "  SVNPath = 'abc", "EParserError: Invalid string constant on line 2"},
      {Text("  SVNPath = 'a' +\r\n    5\r\n"), "EParserError: String expected on line 3"},
      {Text("  SVNPath = 'a' + + 'b'\r\n"), "EParserError: String expected on line 2"},
      {Text("  SVNPath = 'a' +\r\n"), "EParserError: String expected on line 3"},
      {Text("  Foo = [1.5]\r\n"), "EParserError: Identifier expected on line 2"},
      {Text("  Foo = ['a']\r\n"), "EParserError: Identifier expected on line 2"},
      {Text("  Foo = [a,]\r\n"), "EParserError: Identifier expected on line 2"},
      {Text("  Foo = [a b]\r\n"), "EParserError: '','' expected on line 2"},
      {Text("  Foo = [a\r\n"), "EParserError: '','' expected on line 3"},
      {Text("  Foo = Name.\r\n"), "EParserError: Identifier expected on line 2"},
      {Text("  Foo = Name.5\r\n"), "EParserError: Identifier expected on line 2"},
      {Text("  Foo = (1 2\r\n"), "EParserError: Invalid property value on line 4"},
      {Text("  Foo = (1 ])\r\n"), "EParserError: Invalid property value on line 2"},
      {Text("  Foo = <foo end>\r\n"), "EParserError: item expected on line 2"},
      {Text("  Foo = <item [x] end>\r\n"), "EParserError: Number expected on line 2"},
      {Text("  Foo = <item [1 end>\r\n"), "EParserError: '']'' expected on line 2"},
      {Text("  Foo = <item\r\n A = 1\r\n"), "EParserError: item expected on line 5"},
      {Header + "  Foo = <item\r\n A = 1\r\n", "EParserError: Identifier expected on line 4"},
      {Text("  Foo = <item end\r\n"), "EParserError: item expected on line 3"},
      {Text("  Foo = {0}\r\n"), "EParserError: Invalid binary value on line 2"},
      {Text("  Foo = {012}\r\n"), "EParserError: Invalid binary value on line 2"},
      {Text("  Foo = {0G}\r\n"), "EParserError: Invalid binary value on line 2"},
      {Text("  Foo = {0 1}\r\n"), "EParserError: Invalid binary value on line 2"},
      {Text("  Foo = {00\r\n\r\n"), "EParserError: Invalid binary value on line 4"},
      {Header + "  Foo = {00\r\n 11", "EParserError: Invalid binary value on line 3"},
      {Text("  object C: TX\r\n"), "EParserError: OBJECT expected on line 4"},
      {Text("  Port = 1\r\n  end\r\n"), "none"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Fault(c.text), c.fault) << c.text;
}

TEST(ComponentTextReader, ConversionFaultsCarryNoLineNumber) {
  struct Case {
    std::string value, fault;
  } cases[] = {
      {"9223372036854775808", "EConvertError: '9223372036854775808' is not a valid integer value"},
      {"-9223372036854775809",
       "EConvertError: '-9223372036854775809' is not a valid integer value"},
      {"99999999999999999999999",
       "EConvertError: '99999999999999999999999' is not a valid integer value"},
      {"$8000000000000000", "EConvertError: '$8000000000000000' is not a valid integer value"},
      {"$10000000000000000", "EConvertError: '$10000000000000000' is not a valid integer value"},
      {"-", "EConvertError: '-' is not a valid integer value"},
      {"$", "EConvertError: '$' is not a valid integer value"},
      {"1.2.3", "EConvertError: '1.2.3' is not a valid floating point value"},
      {"1e", "EConvertError: '1e' is not a valid floating point value"},
      {"1-2", "EConvertError: '1-2' is not a valid floating point value"},
      {"--5", "EConvertError: '--5' is not a valid floating point value"},
      {"1.2.3s", "EConvertError: '1.2.3' is not a valid floating point value"},
      {"-s", "EConvertError: '-' is not a valid floating point value"},
      {"1e99999", "EConvertError: '1e99999' is not a valid floating point value"},
  };
  for (const Case& c : cases) {
    TclsBasicSetting s;
    s.SVNPath = "kept";
    EXPECT_EQ(Fault(Text("  SVNPath = 'new'\r\n  Port = " + c.value + "\r\n"), s), c.fault);
    EXPECT_EQ(s.SVNPath, "kept") << "a conversion fault is a phase 1 fault";
  }
  // The largest integers convert, then are refused for a 32-bit property.
  EXPECT_EQ(Fault(Text("  Port = 9223372036854775807\r\n")),
            "EReadError: Error reading TclsBasicSetting.Port: Invalid property value");
  EXPECT_EQ(Fault(Text("  Port = -9223372036854775808\r\n")),
            "EReadError: Error reading TclsBasicSetting.Port: Invalid property value");
  EXPECT_EQ(Fault(Text("  Port = $7FFFFFFFFFFFFFFF\r\n")),
            "EReadError: Error reading TclsBasicSetting.Port: Invalid property value");
  // Integers inside lists, headers and collection items are converted too.
  EXPECT_EQ(Fault(Text("  Foo = (1 $)\r\n")), "EConvertError: '$' is not a valid integer value");
  EXPECT_EQ(Fault("object X [-] end"), "EConvertError: '-' is not a valid integer value");
  EXPECT_EQ(Fault(Text("  Foo = <item [$] end>\r\n")),
            "EConvertError: '$' is not a valid integer value");
  // ... but the elements of a set are not.
  EXPECT_EQ(Fault(Text("  Foo = [$, -]\r\n")),
            "EReadError: Error reading TclsBasicSetting.Foo: Property Foo does not exist");
  // Underflow is zero, not a fault.
  EXPECT_EQ(Fault(Text("  Foo = 1e-99999\r\n")),
            "EReadError: Error reading TclsBasicSetting.Foo: Property Foo does not exist");
}

TEST(ComponentTextReader, NothingIsAssignedAfterASyntaxFault) {
  TclsBasicSetting s;
  s.SetName("Before");
  s.SVNPath = "a";
  s.RepoPath = "b";
  s.BackupPath = "c";
  s.SetPort(1);
  s.Tag = 2;
  EXPECT_EQ(Fault("object After: TclsBasicSetting\r\n  SVNPath = 'x'\r\n  RepoPath = 'y'\r\n"
                  "  BackupPath = 'z'\r\n  Tag = 9\r\n  Port 3690\r\nend\r\n",
                  s),
            "EParserError: ''='' expected on line 6");
  EXPECT_EQ(s.GetName(), "Before");
  EXPECT_EQ(s.SVNPath, "a");
  EXPECT_EQ(s.RepoPath, "b");
  EXPECT_EQ(s.BackupPath, "c");
  EXPECT_EQ(s.GetPort(), 1);
  EXPECT_EQ(s.Tag, 2);
}

TEST(ComponentTextReader, TheSettingsRefusalExamples) {
  EXPECT_EQ(Fault(Text("  Port = '3690'\r\n")),
            "EReadError: Error reading TclsBasicSetting.Port: Invalid property value");
  EXPECT_EQ(Fault(Text("  Port = 3690.5\r\n")),
            "EReadError: Error reading TclsBasicSetting.Port: Invalid property value");
  EXPECT_EQ(Fault(Text("  Port = 4294967296\r\n")),
            "EReadError: Error reading TclsBasicSetting.Port: Invalid property value");
  EXPECT_EQ(Fault(Text("  SVNPath = 5\r\n")),
            "EReadError: Error reading TclsBasicSetting.SVNPath: Invalid property value");
  TclsBasicSetting s;
  EXPECT_EQ(Fault(Text("  SVNPath = 'C:\\SVN'\r\n  Port = 3691\r\n  Foo = 1\r\n"), s),
            "EReadError: Error reading TclsBasicSetting.Foo: Property Foo does not exist");
  EXPECT_EQ(s.SVNPath, "C:\\SVN");
  EXPECT_EQ(s.GetPort(), 3691);
}

// ---- the 4096-byte buffer ------------------------------------------------------------------

TEST(ComponentTextReader, LinesUpTo4094BytesAndLineTooLong) {
  // A property line of n bytes before its line feed (the carriage return included).
  auto line = [](size_t n) {
    const std::string start = "  SVNPath = '";
    return start + std::string(n - start.size() - 2, 'x') + "'\r\n";
  };
  for (size_t n : {4093u, 4094u}) {
    TclsBasicSetting s;
    EXPECT_EQ(Fault(Header + line(n) + "end\r\n", s), "none") << n;
    EXPECT_EQ(s.SVNPath.size(), n - 15) << n;
    // Also as the first line, and after many short lines.
    TclsBasicSetting t;
    EXPECT_EQ(Fault(Header + Repeat("  Port = 1\r\n", 333) + line(n) + "  Port = 2\r\nend\r\n", t),
              "none");
    EXPECT_EQ(t.SVNPath.size(), n - 15);
    EXPECT_EQ(t.GetPort(), 2);
  }
  EXPECT_EQ(Fault(Header + line(4095) + "end\r\n"), "EParserError: Line too long on line 2");
  EXPECT_EQ(Fault(Header + "\r\n\r\n" + line(5000) + "end\r\n"),
            "EParserError: Line too long on line 4");
  EXPECT_EQ(Fault(std::string(4095, ' ') + "\nobject X end"),
            "EParserError: Line too long on line 1");
  EXPECT_EQ(Fault(std::string(4094, ' ') + "\nobject X end"), "none");
  // A last line without a line feed only has to fit what is left of the buffer.
  EXPECT_EQ(Fault("object X end" + std::string(4083, ' ')), "none");
  EXPECT_EQ(Fault("object X end" + std::string(4084, ' ')),
            "EParserError: Line too long on line 1");
}

TEST(ComponentTextReader, AnEmptyLineAtTheBufferEndThenALongLine) {
  auto line = [](const std::string& start, size_t n) {
    return start + std::string(n - start.size() - 2, 'x') + "'\r\n";
  };
  // The first fill ends with a bare empty line: its line feed is the buffer's last byte and
  // becomes the first byte of the next fill.
  const std::string head =
      Header + line("  RepoPath = '", ComponentTextBufferSize - 2 - Header.size()) + "\n";
  ASSERT_EQ(head.size(), ComponentTextBufferSize);
  ASSERT_EQ(head[ComponentTextBufferSize - 2], '\n');
  TclsBasicSetting s;
  EXPECT_EQ(Fault(head + line("  SVNPath = '", 4094) + "end\r\n", s), "none");
  EXPECT_EQ(s.SVNPath.size(), 4094u - 15);
  EXPECT_EQ(s.RepoPath.size(), ComponentTextBufferSize - 2 - Header.size() - 16);
  // A line that is really too long there is named by its own number: the header, the
  // RepoPath line and the empty line come before it.
  EXPECT_EQ(Fault(head + line("  SVNPath = '", 5000) + "end\r\n"),
            "EParserError: Line too long on line 4");
}

TEST(ComponentTextReader, APortOutsideTheRangeIsTakenAsWritten) {
  for (int32_t port : {-1, 1, 65535, 65536, 70000, INT32_MIN}) {
    TclsBasicSetting s;
    EXPECT_EQ(Fault(Text("  Port = " + std::to_string(port) + "\r\n"), s), "none");
    EXPECT_EQ(s.GetPort(), port);
  }
}

TEST(ComponentTextReader, LongTextsAcrossManyBufferRefills) {
  TclsBasicSetting a;
  a.SVNPath = Repeat("\xEC\xA0\x80 abc'\t", 3000); // about 18000 units, 280 lines
  a.RepoPath = Repeat("z", 5000);
  a.SetPort(42);
  std::string text = WriteComponentText(a);
  ASSERT_GT(text.size(), 10 * ComponentTextBufferSize);
  TclsBasicSetting b;
  ReadComponentText(text, b);
  EXPECT_EQ(b.SVNPath, a.SVNPath);
  EXPECT_EQ(b.RepoPath, a.RepoPath);
  EXPECT_EQ(b.GetPort(), 42);
  // Read through a stream that hands out a few bytes at a time.
  struct Trickle : TTextInput {
    std::string data;
    size_t pos = 0;
    size_t Read(char* buffer, size_t count) override {
      size_t n = std::min({count, data.size() - pos, size_t(7)});
      data.copy(buffer, n, pos);
      pos += n;
      return n;
    }
  } trickle;
  trickle.data = text;
  TclsBasicSetting c;
  ReadComponentText(trickle, c);
  EXPECT_EQ(c.SVNPath, a.SVNPath);
}

TEST(ComponentTextReader, DeepNestingDoesNotExhaustTheStack) {
  std::string deep;
  for (int i = 0; i < 1000; ++i)
    deep += Repeat("(", 1000) + "\r\n";
  deep += "1\r\n";
  for (int i = 0; i < 1000; ++i)
    deep += Repeat(")", 1000) + "\r\n";
  EXPECT_EQ(Fault(Text("  Foo = " + deep)),
            "EReadError: Error reading TclsBasicSetting.Foo: Property Foo does not exist");
  std::string objects;
  for (int i = 0; i < 100000; ++i)
    objects += "object A: T" + std::to_string(i) + "\n";
  for (int i = 0; i < 100000; ++i)
    objects += "end\n";
  EXPECT_EQ(Fault(objects), "EClassNotFound: Class T1 not found");
  std::string collections = "  Foo = ";
  for (int i = 0; i < 50000; ++i)
    collections += "<item X =\n";
  collections += "0";
  for (int i = 0; i < 50000; ++i)
    collections += " end>\n";
  EXPECT_EQ(Fault(Text(collections + "\r\n")),
            "EReadError: Error reading TclsBasicSetting.Foo: Property Foo does not exist");
}
