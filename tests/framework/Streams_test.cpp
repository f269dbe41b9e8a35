#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "framework/BinaryStream.h"
#include "framework/TextInputStream.h"

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
