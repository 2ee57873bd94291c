// Tests for the second reading of the credential format: pieces, file lines,
// raw offsets, and agreement with the reader itself.
#include "crypt/credential_scan.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "credentials/credential_file.h"
#include "credentials/hex_decrypt.h"

namespace dbrunner {
namespace {

using namespace std::string_literals;

std::string Entry(std::string_view number, std::string_view key, std::string_view plain) {
  return std::string(number) + ";" + std::string(key) + ";" + EncryptHexString(plain) + "\n";
}

TEST(ScanCredentialText, LongLinesSplitIntoPiecesThatKeepTheirFileLine) {
  // A group line of 199 characters and its line feed is one character too
  // long: the line feed alone becomes the entry line of the first record.
  const std::string text = "a;G;" + std::string(195, 'x') + "\n" + "b;G;c\n" +
                           Entry("1", "NET8", "n") + std::string(450, 'y') + "\n";
  const CredentialScan scan = ScanCredentialText(text);
  struct Piece {
    std::size_t line;
    std::size_t column;
    std::size_t size;
  };
  const Piece kPieces[] = {{1, 1, 199}, {1, 200, 1}, {2, 1, 6},
                           {3, 1, 24},  {4, 1, 199}, {4, 200, 252}};
  ASSERT_EQ(scan.lines.size(), std::size(kPieces));
  for (std::size_t i = 0; i < scan.lines.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(scan.lines[i].line, kPieces[i].line);
    EXPECT_EQ(scan.lines[i].column, kPieces[i].column);
    EXPECT_EQ(scan.lines[i].end - scan.lines[i].begin, kPieces[i].size);
    EXPECT_EQ(scan.lines[i].is_group_line, i % 2 == 0);
  }
  EXPECT_FALSE(scan.has_trailing_line());
  ASSERT_EQ(scan.records.size(), 3u);
  // The line feed alone: no ";", so the number is left over (none yet: 0).
  EXPECT_TRUE(scan.records[0].entry_without_separator);
  EXPECT_TRUE(AnswersEveryLookup(scan.records[0]));
  EXPECT_EQ(scan.records[1].key, "NET8");
  EXPECT_EQ(scan.records[1].number, 1);
  EXPECT_EQ(DescribePlace(scan.lines[5]), "line 4, character 200");
  EXPECT_EQ(FirstAnswer(scan, "NET8"), 0u);
  EXPECT_TRUE(AgreesWithReader(scan, text));
}

TEST(ScanCredentialText, AgreesWithTheReaderOnOddFiles) {
  const std::string kTexts[] = {
      "",
      "only one line\n",
      "a;G;b\n" + Entry("1", "NET8", "n") + "a;G;b\n" + Entry("0", "PASS", "p"),
      "a;G;b\n" + Entry("4294967296", "LOGIN", "l") + "a;G;b\n" + Entry("2", "NET8", "n"),
      "a;G;b\n" + Entry("7", "NET8", "n") + "a;G;b\nno separator\n" + "a;G;b\n" +
          Entry("8", "PASS", "p"),
      "a;G;b\nno separator\na;G;b\n" + Entry("8", "PASS", "p"),
      "no group\n" + Entry("3", "LOGIN", "l") + "a;G;b\n" + Entry("4", "PASS", "p"),
      "a;G;b\n;NET8;" + EncryptHexString("n") + "\n",
      "a;G;b\n" + Entry("1", "NET8", "n") + "a;G;b\n1;PASS;ABC",
      "a;G;b\n5;PA\0SS;00\n"s + "a;G;b\n" + Entry("6", "PASS", "p"),
      std::string(450, 'z') + "\n" + Entry("1", "NET8", "n") + "a;G;b\n" + Entry("2", "PASS", "p"),
      "a;G;b\n" + Entry("1", "net8", "n") + "a;G;b\n" + Entry("2", " PASS", "p"),
  };
  for (const std::string& text : kTexts) {
    SCOPED_TRACE(text);
    const CredentialScan scan = ScanCredentialText(text);
    EXPECT_TRUE(AgreesWithReader(scan, text));
  }
}

TEST(TextToRawOffsets, FollowsTextMode) {
  struct Row {
    std::string raw;
    std::vector<std::size_t> offsets;
  };
  const Row kRows[] = {
      {"ab\r\nc", {0, 1, 3, 4, 5}},
      {"a\rb\n", {0, 1, 2, 3, 4}},  // a lone carriage return stays
      {"a\r\r\n", {0, 1, 3, 4}},    // only the one right before the line feed goes
      {"a\n\x1A"
       "b\n",
       {0, 1, 2}},             // nothing after Ctrl-Z
      {"a\r\x1A", {0, 1, 2}},  // a carriage return before Ctrl-Z stays
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.raw);
    EXPECT_EQ(TextToRawOffsets(row.raw), row.offsets);
    EXPECT_EQ(TextToRawOffsets(row.raw).size(), ApplyTextMode(row.raw).size() + 1);
  }
}

}  // namespace
}  // namespace dbrunner
