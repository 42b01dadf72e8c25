#include "archive/UfnStream.h"

#include "base/UfnErrors.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(FileStream, BufferedWritesRewritesAndReadsSeeOneConsistentFile) {
  TempDir t;
  for (int64_t bufferSize : {0, 16, 1 << 16}) {
    SCOPED_TRACE(bufferSize);
    std::string path;
    {
      TFileStream s = TFileStream::CreateUnique(t.Path(), "s-");
      path = s.FileName();
      s.EnableWriteBuffer(bufferSize);
      s.WriteBuffer("header..", 8);
      std::string body(100, 'b');
      s.WriteBuffer(body.data(), 100);
      EXPECT_EQ(s.Position(), 108);
      s.SetPosition(0); // complete the header later, as the archive builder does
      s.WriteBuffer("HEADER", 6);
      EXPECT_EQ(s.Size(), 108);
      EXPECT_EQ(s.Position(), 6);
      s.SetPosition(108);
      std::string big(70000, 'x'); // larger than the small buffers
      s.WriteBuffer(big.data(), static_cast<int64_t>(big.size()));
      s.SetPosition(2);
      char got[4] = {};
      s.ReadBuffer(got, 4);
      EXPECT_EQ(std::string(got, 4), "ADER");
      s.SetPosition(s.Size());
      s.WriteBuffer("end", 3);
      s.Truncate(s.Position() - 1);
      s.Close();
      s.Close(); // a second close does nothing
    }
    EXPECT_EQ(ReadFile(path), "HEADER.." + std::string(100, 'b') + std::string(70000, 'x') + "en");
  }
}

TEST(FileStream, OpeningAndCreatingReportTheirFailures) {
  TempDir t;
  EXPECT_THROW(TFileStream::OpenRead(t / "missing"), EFOpenError);
  EXPECT_THROW(TFileStream::CreateUnique(t / "missing-folder", "x-"), EFCreateError);
  WriteFile(t / "f", "0123456789");
  TFileStream r = TFileStream::OpenRead(t / "f");
  char buf[20];
  EXPECT_EQ(r.Read(buf, 20), 10);
  EXPECT_EQ(r.Read(buf, 20), 0);
  EXPECT_EQ(r.Seek(-1, soBeginning), -1);
  EXPECT_THROW(r.WriteBuffer("x", 1), EWriteError); // opened for reading only
}
