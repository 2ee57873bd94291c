// Tests of the INI reader against the answers Windows gives for one value.
#include "statement/profile_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace dbrunner {
namespace {

using namespace std::string_view_literals;

struct Lookup {
  std::int32_t count;
  std::string bytes;
};

// One read through the profile contract; checks the terminator, and that
// nothing is written with size 0.
Lookup Read(std::string_view content, std::string_view section, std::string_view key,
            std::int32_t size) {
  std::vector<char> buffer(static_cast<std::size_t>(size) + 2, '#');
  const std::int32_t count =
      GetProfileString(ParseProfileSection(content, section), key, buffer.data(), size);
  if (size == 0) {
    EXPECT_EQ(buffer[0], '#') << "size 0 wrote to the buffer";
  } else {
    EXPECT_EQ(buffer[static_cast<std::size_t>(count)], '\0');
  }
  return {count, std::string(buffer.data(), static_cast<std::size_t>(count))};
}

struct Row {
  int example;  // number of the case in the table of Windows answers
  std::string content;
  std::string_view section;
  std::string_view key;
  std::int32_t size;
  std::int32_t count;
  std::string value;
};

const Row kRows[] = {
    // Missing things and empty values.
    {1, "[S]\r\nK=abc\r\n", "S", "K", 81, 3, "abc"},
    {3, "[T]\r\nK=abc\r\n", "S", "K", 81, 0, ""},
    {4, "[S]\r\nX=abc\r\n", "S", "K", 81, 0, ""},
    {5, "[S]\r\nK=\r\n", "S", "K", 81, 0, ""},
    {6, "[S]\r\nK=   \t \r\n", "S", "K", 81, 0, ""},
    {8, "[S]\r\nK\r\nK=2\r\n", "S", "K", 81, 1, "2"},
    {0, "", "S", "K", 81, 0, ""},
    // Case and blanks.
    {9, "[sEcTiOn]\r\nK=v\r\n", "SECTION", "K", 81, 1, "v"},
    {10, "[S]\r\nsql001=v\r\n", "s", "SQL001", 81, 1, "v"},
    {11, "[\xC4X]\r\nK=v\r\n", "\xE4x", "K", 81, 0, ""},
    {12, "[S]\r\n  K  =  v w  \r\n", "S", "K", 81, 3, "v w"},
    {13, "[S]\r\n\tK\t=\tv\t\r\n", "S", "K", 81, 1, "v"},
    {14, "[S]\r\n\vK\v=\vv\v\r\n", "S", "K", 81, 1, "v"},
    {15, "[S]\r\n\fK\f=\fv\f\r\n", "S", "K", 81, 1, "v"},
    {16, "[S]\r\nK=v\x1A\r\n", "S", "K", 81, 1, "v"},
    {17, "[S]\r\nK=\xA0v\xA0\r\n", "S", "K", 81, 3, "\xA0v\xA0"},
    {18, "[ \tS \t]\r\nK=v\r\n", "S", "K", 81, 1, "v"},
    {19, "[S]\r\nK=abc\r\n", " S ", " K ", 81, 3, "abc"},
    {20, "[S]\r\nK=abc\r\n", "\tS", "K", 81, 0, ""},
    {21, "[S]\r\nK=abc\r\n", "S", "K\t", 81, 0, ""},
    {22, "[S]\r\nK 1=v\r\n", "S", "K1", 81, 0, ""},
    // Comments: only a whole line starting with ';'.
    {23, "[S]\r\n;K=v\r\nK2=w\r\n", "S", "K", 81, 0, ""},
    {24, "[S]\r\n \t\v;K=v\r\n", "S", "K", 81, 0, ""},
    {25, "[S]\r\n;K=v\r\nK2=w\r\n", "S", ";K", 81, 0, ""},
    {26, "[S]\r\n#K=v\r\n", "S", "K", 81, 0, ""},
    {27, "[S]\r\n#K=v\r\n", "S", "#K", 81, 1, "v"},
    {28, "[S]\r\nK=v ;comment\r\n", "S", "K", 81, 10, "v ;comment"},
    // Section headers.
    {30, "[S] trailing text\r\nK=v\r\n", "S", "K", 81, 1, "v"},
    {31, "  [ S ] ; comment\r\nK=v\r\n", "S", "K", 81, 1, "v"},
    {32, "[S]K=v\r\n", "S", "K", 81, 0, ""},
    {33, "[S\r\nK=v\r\n", "S", "K", 81, 1, "v"},
    {34, "[A]\r\nK=a\r\n[B\r\nK=b\r\n", "B", "K", 81, 1, "b"},
    {35, "[S]x]\r\nK=v\r\n", "S", "K", 81, 1, "v"},
    {36, "[S]x]\r\nK=v\r\n", "S]x", "K", 81, 0, ""},
    {37, "S]\r\nK=v\r\n", "S", "K", 81, 0, ""},
    {38, "[]\r\nK=v\r\n", "", "K", 81, 1, "v"},
    {39, "K=v\r\n[S]\r\nL=w\r\n", "", "K", 81, 0, ""},
    {40, "\r\nkey=val_no_section\r\n[]\r\nkey=val_e_section\r\n[s]\r\n=val_no_key\r\n[t]\r\n", "",
     "key", 81, 13, "val_e_section"},
    {41, "[a=b\r\nK=v\r\n", "a=b", "K", 81, 1, "v"},
    {42, "[\"S\"]\r\nK=v\r\n", "S", "K", 81, 0, ""},
    // Only the first section of a name counts, even when it lacks the key.
    {43, "[S]\r\nA=1\r\n[T]\r\nB=2\r\n[S]\r\nK=v\r\n", "S", "K", 81, 0, ""},
    {44, "[S]\r\n[S]\r\nK=v\r\n", "S", "K", 81, 0, ""},
    {0, "[S]\r\nA=1\r\n[s]\r\nK=v\r\n", "S", "A", 81, 1, "1"},
    // Keys: the first line of a name wins, even when empty.
    {45, "[S]\r\nK=1\r\nK=2\r\n", "S", "K", 81, 1, "1"},
    {46, "[S]\r\nK=\r\nk=2\r\n", "S", "K", 81, 0, ""},
    {47, "[S]\r\nK=a=b\r\n", "S", "K", 81, 3, "a=b"},
    {48, "[S]\r\nSQL0011=v\r\n", "S", "SQL001", 81, 0, ""},
    // Line ends.
    {49, "[S]\nA=1\nK=v\n", "S", "K", 81, 1, "v"},
    {50, "[S]\rA=1\rK=v\r", "S", "K", 81, 1, "v"},
    {51, "[S]\r\nA=1\nK=v\rB=2\r\n", "S", "K", 81, 1, "v"},
    {52, "[S]\r\nK=v", "S", "K", 81, 1, "v"},
    {53, "[S]\r\nK=ab\rcd\r\n", "S", "K", 81, 2, "ab"},
    // 8-bit files are bytes; the UTF-8 mark is three ordinary bytes.
    {54,
     "[S]\r\nK=gr\xC3\xBC\xC3\x9F"
     "e\r\n",
     "S", "K", 81, 7,
     "gr\xC3\xBC\xC3\x9F"
     "e"},
    {55, "\xEF\xBB\xBF[S]\r\nK=v\r\n", "S", "K", 81, 0, ""},
    {56, "\xEF\xBB\xBF[S]\r\nK=1\r\n[S]\r\nK=2\r\n", "S", "K", 81, 1, "2"},
    {57, "\xEF\xBB\xBF\r\n[S]\r\nK=v\r\n", "S", "K", 81, 1, "v"},
    {58,
     "\xEF\xBB\xBF\r\n[S]\r\nK=gr\xC3\xBC\xC3\x9F"
     "e\r\n",
     "S", "K", 81, 7,
     "gr\xC3\xBC\xC3\x9F"
     "e"},
    // A NUL ends the value; trimming saw the whole line, quotes see the rest.
    {62, std::string("[S]\r\nK=ab\0cd\r\n"sv), "S", "K", 81, 2, "ab"},
    {0, std::string("[S]\r\nK=\"ab\0cd\"\r\n"sv), "S", "K", 81, 3, "\"ab"},
    // Quotes: one outer pair of the same character.
    {63, "[S]\r\nK=\"abc\"\r\n", "S", "K", 81, 3, "abc"},
    {64, "[S]\r\nK='abc'\r\n", "S", "K", 81, 3, "abc"},
    {65, "[S]\r\nK=  \"  abc  \"  \r\n", "S", "K", 81, 7, "  abc  "},
    {66, "[S]\r\nK=\"abc'\r\n", "S", "K", 81, 5, "\"abc'"},
    {67, "[S]\r\nK=\"abc\r\n", "S", "K", 81, 4, "\"abc"},
    {68, "[S]\r\nK=\"'abc'\"\r\n", "S", "K", 81, 5, "'abc'"},
    {69, "[S]\r\nK=\"\"abc\"\"\r\n", "S", "K", 81, 5, "\"abc\""},
    {70, "[S]\r\nK=\"\"\r\n", "S", "K", 81, 0, ""},
    {71, "[S]\r\nK=\"\r\n", "S", "K", 81, 1, "\""},
    {72, "[S]\r\nK=\" \"\r\n", "S", "K", 81, 1, " "},
    {73, "[S]\r\nK=\"abc\" ;x\r\n", "S", "K", 81, 8, "\"abc\" ;x"},
    {74, "[S]\r\nSQL001='X' AND B = 'Y'\r\n", "S", "SQL001", 81, 13, "X' AND B = 'Y"},
    {75, "[S]\r\nSQL001=WHERE N = 'X'\r\n", "S", "SQL001", 81, 13, "WHERE N = 'X'"},
    // Buffer size: cut to size - 1, quotes removed before the cut.
    {77, "[S]\r\nK=abcdef\r\n", "S", "K", 7, 6, "abcdef"},
    {78, "[S]\r\nK=abcdef\r\n", "S", "K", 6, 5, "abcde"},
    {79, "[S]\r\nK=abcdef\r\n", "S", "K", 1, 0, ""},
    {80, "[S]\r\nK=abcdef\r\n", "S", "K", 0, 0, ""},
    {82, "[S]\r\nK=\"abcdef\"\r\n", "S", "K", 7, 6, "abcdef"},
    {83, "[S]\r\nK=\"abcdef\"\r\n", "S", "K", 6, 5, "abcde"},
    {84, "[S]\r\nK=  \"ab\"  \r\n", "S", "K", 3, 2, "ab"},
    {86, "[S]\r\nSQL001=" + std::string(100, 'x') + "\r\n", "S", "SQL001", 81, 80,
     std::string(80, 'x')},
    {88, "[S]\r\nSQL001=\"" + std::string(80, 'x') + "\"\r\n", "S", "SQL001", 81, 80,
     std::string(80, 'x')},
    {89, "[S]\r\nSQL001=\"" + std::string(81, 'x') + "\"\r\n", "S", "SQL001", 81, 80,
     std::string(80, 'x')},
    // Values of 64 KiB and more are kept whole, not wrapped at 65536.
    {91, "[S]\r\nK=" + std::string(65536, 'x') + "\r\n", "S", "K", 200000, 65536,
     std::string(65536, 'x')},
    // A statement file.
    {93, "[GETTERM]\r\nSQL001=UPDATE T\r\nSQL002=   SET A = '$parm01'\r\n", "GETTERM", "SQL002", 81,
     17, "SET A = '$parm01'"},
    {96, "[GETTERM]\r\nSQL001=UPDATE T\r\n", "getterm", "sql001", 81, 8, "UPDATE T"},
};

TEST(GetProfileString, AnswersAsWindowsDoes) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(::testing::Message()
                 << "example " << row.example << ": " << row.content.substr(0, 60) << " ["
                 << row.section << "] " << row.key << " size " << row.size);
    const Lookup got = Read(row.content, row.section, row.key, row.size);
    EXPECT_EQ(got.count, row.count);
    EXPECT_EQ(got.bytes, row.value);
  }
}

// `text` as UTF-16LE bytes (or big-endian), with the byte order mark first.
std::string Utf16(std::u16string_view text, bool big_endian = false, bool bom = true) {
  std::string bytes;
  if (bom) bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char low = static_cast<char>(c & 0xFF);
    const char high = static_cast<char>(c >> 8);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST(GetProfileString, Utf16LittleEndianIsReadInTheAnsiCodePage) {
  struct Utf16Row {
    std::u16string_view content;
    std::string_view key;
    std::string value;
  };
  const Utf16Row rows[] = {
      {u"[s]\r\nK=v\r\n", "K", "v"},
      {u"[S]\r\nK=caf\u00E9\r\n", "K", "caf\xE9"},
      {u"[S]\nK=  \"\u20AC 5\"  \n", "K", "\x80 5"},  // a Windows-1252 letter above 0x7F
      {u"[S]\rK=\u4E2D!\r", "K", "?!"},               // a character the code page lacks
      {u"[S]\r\nK=a\U0001F600b\r\n", "K", "a?b"},     // a pair is one character
      {u"[S]\r\nK=a\xD800"
       u"b\xDC00\r\n",
       "K", "a?b?"},  // unpaired surrogates
      {u"[S]\r\nK=ab\0cd\r\n"sv, "K", "ab"},
      // A name the code page cannot hold is found by no 8-bit name, not even "?".
      {u"[S]\r\nK\u4E2D=v\r\n", "K?", ""},
      {u"[S\u4E2D]\r\nK=v\r\n[S?]\r\nK=w\r\n", "K", ""},
  };
  for (const Utf16Row& row : rows) {
    SCOPED_TRACE(row.value);
    const Lookup got = Read(Utf16(row.content), "S", row.key, 81);
    EXPECT_EQ(got.bytes, row.value);
    EXPECT_EQ(got.count, static_cast<std::int32_t>(row.value.size()));
  }
  // The section "S?" exists and is not the one named "S" + U+4E2D.
  EXPECT_EQ(Read(Utf16(u"[S\u4E2D]\r\nK=v\r\n[S?]\r\nK=w\r\n"), "S?", "K", 81).bytes, "w");
}

TEST(GetProfileString, OtherUtf16FormsFindNothing) {
  const std::u16string_view content = u"[S]\r\nK=v\r\n";
  EXPECT_EQ(Read(Utf16(content, /*big_endian=*/true), "S", "K", 81).count, 0);
  EXPECT_EQ(Read(Utf16(content, /*big_endian=*/false, /*bom=*/false), "S", "K", 81).count, 0);
  // Read as bytes, this big-endian text would hold the header "[\0]".
  EXPECT_FALSE(ParseProfileSection(Utf16(u"\r\n\u5B00\u5D00", true), "\0"sv).found);
}

TEST(ReadProfileSection, UnreadableFilesFindNothing) {
  testing::ScopedTempDir dir;
  testing::WriteFile(dir.File("a.ini"), "[S]\r\nK=v\r\n");
  EXPECT_TRUE(ReadProfileSection(dir.File("a.ini"), "S").found);
  EXPECT_EQ(ReadProfileSection(dir.File("a.ini"), "S").values.at("k"), "v");
  EXPECT_FALSE(ReadProfileSection(dir.File("missing.ini"), "S").found);
  EXPECT_FALSE(ReadProfileSection(dir.path().string(), "S").found);  // a directory
}

// Arbitrary bytes never break the contract: the count is what was written,
// fits the buffer, and no NUL hides inside the value.
TEST(GetProfileString, ArbitraryBytesKeepTheContract) {
  const std::string_view alphabet = "[]=\"';# \t\v\f\x1A\r\nKkSs\0\xFF\xFE\xA0\xD8\xDC"sv;
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<std::size_t> length(0, 48);
  const std::int32_t sizes[] = {0, 1, 2, 5, 81};
  for (int i = 0; i < 5000; ++i) {
    std::string content = i % 3 == 0 ? "\xFF\xFE" : "";
    for (std::size_t n = length(random); n > 0; --n) content += alphabet[pick(random)];
    const ProfileSection section = ParseProfileSection(content, i % 2 == 0 ? "S" : "");
    for (std::int32_t size : sizes) {
      char buffer[82];
      std::memset(buffer, '#', sizeof buffer);
      const std::int32_t count = GetProfileString(section, "k", buffer, size);
      ASSERT_GE(count, 0);
      ASSERT_LE(count, size == 0 ? 0 : size - 1);
      if (size > 0) {
        ASSERT_EQ(std::strlen(buffer), static_cast<std::size_t>(count)) << content;
      }
    }
  }
}

}  // namespace
}  // namespace dbrunner
