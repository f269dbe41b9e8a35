#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/streams/BinaryStream.h"
#include "framework/streams/TextInputStream.h"

using framework::BinaryStream;
using framework::FolderItem;
using framework::TextInputStream;

namespace {

class StreamsTest : public ::testing::Test {
 protected:
  FolderItem item(const std::string& name) const { return FolderItem(dir_.filePath(QString::fromStdString(name)).toStdString()); }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(item(name).Path(), std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(item(name).Path(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  QTemporaryDir dir_;
};

TEST_F(StreamsTest, TextLinesEndWithCrLfOrCrLf) {
  const struct {
    const char* what;
    std::string content;
    std::vector<std::string> lines;
  } cases[] = {
      {"LF", "a\nb\n", {"a", "b"}},
      {"CR", "a\rb\r", {"a", "b"}},
      {"CRLF", "a\r\nb\r\n", {"a", "b"}},
      {"mixed, last line without end", "a\r\n\rb\nc", {"a", "", "b", "c"}},
      {"empty lines", "\n\n", {"", ""}},
      {"CR then LF ends one line only", "x\r\ny", {"x", "y"}},
      {"bytes kept", "\x88\x9F\tz\n", {"\x88\x9F\tz"}},
  };
  for (const auto& c : cases) {
    write("t", c.content);
    auto stream = TextInputStream::Open(item("t"));
    ASSERT_TRUE(stream) << c.what;
    std::vector<std::string> lines;
    while (!stream->Eof()) lines.push_back(stream->ReadLine());
    EXPECT_EQ(lines, c.lines) << c.what;
    EXPECT_EQ(stream->ReadLine(), "") << c.what;  // past the end
    EXPECT_TRUE(stream->Eof());
    stream->Close();
    stream->Close();
  }
}

TEST_F(StreamsTest, TextEofOnlyOnceEverythingIsRead) {
  write("empty", "");
  EXPECT_TRUE(TextInputStream::Open(item("empty"))->Eof());

  // A line longer than the reading buffer, a CR at a buffer's edge.
  const std::string longLine(64 * 1024 - 1, 'x');
  write("long", longLine + "\r\nend");
  auto stream = TextInputStream::Open(item("long"));
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->ReadLine(), longLine);
  EXPECT_FALSE(stream->Eof());
  EXPECT_EQ(stream->ReadLine(), "end");
  EXPECT_TRUE(stream->Eof());

  EXPECT_FALSE(TextInputStream::Open(item("missing")));
  EXPECT_FALSE(TextInputStream::Open(FolderItem(dir_.path().toStdString())));
}

TEST_F(StreamsTest, BoundedLinesNeverHoldMoreThanTheLimit) {
  // Lines across the reading buffer's edges, one ending at the limit, one a byte past it.
  const std::string wide(200 * 1024, 'w');
  write("t", "abc\r\n" + wide + "\r" + wide + "x\nlast");
  auto stream = TextInputStream::Open(item("t"));
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->ReadLine(3), "abc");
  EXPECT_EQ(stream->ReadLine(wide.size()), wide);
  EXPECT_EQ(stream->ReadLine(wide.size()), std::nullopt);
  EXPECT_FALSE(stream->Eof());

  // Three gigabytes without a line end (a sparse file) give up after the limit.
  const std::string huge = item("huge").Path();
  write("huge", "");
  ASSERT_EQ(::truncate(huge.c_str(), 3LL << 30), 0);
  auto endless = TextInputStream::Open(item("huge"));
  ASSERT_TRUE(endless);
  EXPECT_EQ(endless->ReadLine(1 << 20), std::nullopt);
}

// Opening any of these for reading would block or read forever; each counts as no file.
TEST_F(StreamsTest, OnlyRegularFilesOpen) {
  ASSERT_EQ(::mkfifo(item("pipe").Path().c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", item("zero").Path().c_str()), 0);
  write("real", "x");
  ASSERT_EQ(::symlink(item("real").Path().c_str(), item("link").Path().c_str()), 0);
  for (const char* name : {"pipe", "zero"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(TextInputStream::Open(item(name)));
    EXPECT_FALSE(BinaryStream::Open(item(name), false));
    EXPECT_FALSE(BinaryStream::Open(item(name), true));
    EXPECT_FALSE(BinaryStream::Create(item(name), true));
    EXPECT_FALSE(BinaryStream::Create(item(name), false));
  }
  struct stat st {};
  ASSERT_EQ(::lstat(item("pipe").Path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  // A link to a regular file is that file.
  EXPECT_TRUE(TextInputStream::Open(item("link")));
  EXPECT_TRUE(BinaryStream::Open(item("link"), true));
}

TEST_F(StreamsTest, BinaryIntegersAreBigEndianAndRoundTrip) {
  {
    auto out = BinaryStream::Create(item("p"), true);
    ASSERT_TRUE(out);
    out->WriteBoolean(true);
    out->WriteLong(580);
    out->WriteLong(-2);
    out->WriteBoolean(false);
    EXPECT_FALSE(out->Error());
  }  // closed by the destructor
  EXPECT_EQ(read("p"), std::string("\x01\x00\x00\x02\x44\xFF\xFF\xFF\xFE\x00", 10));

  auto in = BinaryStream::Open(item("p"), true);
  ASSERT_TRUE(in);
  EXPECT_EQ(in->Length(), 10u);
  EXPECT_TRUE(in->ReadBoolean());
  EXPECT_EQ(in->ReadLong(), 580);
  EXPECT_EQ(in->ReadLong(), -2);
  EXPECT_FALSE(in->ReadBoolean());
  EXPECT_FALSE(in->Error());
  EXPECT_EQ(in->ReadLong(), 0);  // past the end
  EXPECT_TRUE(in->Error());
  in->Close();
  in->Close();
}

TEST_F(StreamsTest, BinaryOpenOverwritesOnlyWhatIsWritten) {
  write("long", "ABCDEFGHIJKLM");
  {
    auto stream = BinaryStream::Open(item("long"), true);
    ASSERT_TRUE(stream);
    stream->WriteBoolean(false);
    stream->WriteLong(0x01020304);
  }
  EXPECT_EQ(read("long"), std::string("\x00\x01\x02\x03\x04" "FGHIJKLM", 13));

  // Read-only streams refuse to write.
  auto readOnly = BinaryStream::Open(item("long"), false);
  readOnly->WriteLong(7);
  EXPECT_TRUE(readOnly->Error());
}

TEST_F(StreamsTest, BinaryCreateAndOpenFailures) {
  EXPECT_FALSE(BinaryStream::Open(item("missing"), true));
  EXPECT_FALSE(BinaryStream::Open(FolderItem(dir_.path().toStdString()), false));
  EXPECT_FALSE(BinaryStream::Create(item("no/such/folder"), true));

  write("there", "old content");
  EXPECT_FALSE(BinaryStream::Create(item("there"), false));
  EXPECT_EQ(read("there"), "old content");
  auto fresh = BinaryStream::Create(item("there"), true);
  ASSERT_TRUE(fresh);
  EXPECT_EQ(fresh->Length(), 0u);
}

}  // namespace
