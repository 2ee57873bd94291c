// Tests for decrypting and encrypting credential values as hex text.
#include "credentials/hex_decrypt.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "credentials/blowfish.h"

namespace dbrunner {
namespace {

// Computed independently (Python's cryptography package over OpenSSL) under
// the built-in key: each 16-digit group is one block, halves little-endian.
constexpr std::string_view kTiger = "552CDC1D7BE40B60";  // "Tiger!42", no zero byte
constexpr std::string_view kScott = "CFD0DCD72160089B";  // "scott" and three zero bytes
constexpr std::string_view kAdmin = "D78CFD92185FBB7AE8C3A7B2425B8C35";  // "db-admin-pw"

bool AllZero(const BlowfishContext& context) {
  for (const std::uint32_t word : context.P) {
    if (word != 0) return false;
  }
  for (const auto& box : context.S) {
    for (const std::uint32_t word : box) {
      if (word != 0) return false;
    }
  }
  return true;
}

TEST(HexToBin, DigitRule) {
  struct Row {
    const char* digits;
    std::uint8_t byte;
  };
  // Lower-case letters are no hex digits here: they take the d - 48 rule like
  // any other character ('a' is worth 49), and the byte wraps modulo 256.
  constexpr Row kRows[] = {
      {"00", 0x00}, {"9F", 0x9F}, {"A0", 0xA0}, {"FF", 0xFF}, {"ff", 0x96},  // 54 * 16 + 54 = 918
      {"a1", 0x11},                                                          // 49 * 16 + 1 = 785
      {"G0", 0x70},                                                          // 23 * 16
      {"0 ", 0xF0},  // 32 - 48 = -16, wrapped
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.digits);
    std::uint8_t byte = 0x5A;
    HexToBin(row.digits, 2, &byte);
    EXPECT_EQ(byte, row.byte);
  }
}

TEST(HexToBin, OddCountLeavesLastDigitUnused) {
  std::uint8_t bytes[2] = {0x5A, 0x5A};
  HexToBin("12F", 3, bytes);
  EXPECT_EQ(bytes[0], 0x12);
  EXPECT_EQ(bytes[1], 0x5A);
}

TEST(DecryptHexString, ReproducesPublishedVectorsWithBytesReversedInHalves) {
  struct Row {
    std::string_view key;
    std::string_view cipher_digits;  // published ciphertext, bytes reversed in each half
    std::string_view plain;          // published plaintext, bytes reversed in each half
  };
  const Row kRows[] = {
      {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", "D56F86518ACB5EB8",
       "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"},  // 51866FD5B85ECB8A
      {"\x01\x23\x45\x67\x89\xAB\xCD\xEF", "80C3F96196B08122",
       "\x11\x11\x11\x11\x11\x11\x11\x11"},  // 61F9C3802281B096
      {"\xFE\xDC\xBA\x98\x76\x54\x32\x10", "0FABCE0A8DA2A0C6",
       "\x67\x45\x23\x01\xEF\xCD\xAB\x89"},  // 0ACEAB0FC6A0A28D
      {"\xF0\xE1\xD2\xC3\xB4\xA5\x96", "3270B78B9D6260F9",
       "\x98\xBA\xDC\xFE\x10\x32\x54\x76"},  // 8BB77032F960629D, 7-byte key
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.cipher_digits);
    EXPECT_EQ(DecryptHexString(row.cipher_digits, row.key), row.plain);
  }
}

TEST(DecryptHexString, Values) {
  const std::string tiger(kTiger);
  struct Row {
    std::string text;
    std::string plain;
  };
  const Row kRows[] = {
      {"", ""},
      {tiger, "Tiger!42"},
      {std::string(kAdmin), "db-admin-pw"},
      // Blocks are independent: the same digits give the same bytes anywhere.
      {tiger + tiger, "Tiger!42Tiger!42"},
      {std::string(kAdmin.substr(0, 16)) + tiger + tiger, "db-adminTiger!42Tiger!42"},
      // The value ends at its first zero byte, even with blocks after it.
      {std::string(kScott) + tiger, "scott"},
      // A trailing partial group is dropped, including a lone line feed.
      {"\n", ""},
      {tiger + "\n", "Tiger!42"},
      {tiger + "552CDC1D7BE40B6", "Tiger!42"},
      {tiger + " ", "Tiger!42"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(DecryptHexString(row.text), row.plain);
  }
}

TEST(DecryptHexString, LowerCaseDigitsDecodeDifferently) {
  // "2c" is 2 * 16 + 51 = 0x53, "dc" 52 * 16 + 51 = 0x373 -> 0x73, and so on.
  EXPECT_EQ(DecryptHexString("552cdc1d7be40b60"), DecryptHexString("55537344A2543260"));
  EXPECT_NE(DecryptHexString("552cdc1d7be40b60"), "Tiger!42");
}

TEST(DecryptHexString, ContextIsAllZeroAfterEveryCall) {
  for (const std::string_view text :
       {std::string_view(), kTiger, kAdmin, std::string_view("1234567")}) {
    SCOPED_TRACE(text);
    BlowfishContext context;
    for (auto& word : context.P) word = 0xDEADBEEF;
    static_cast<void>(DecryptHexString(text, kCryptKey, context));
    EXPECT_TRUE(AllZero(context));
  }
}

TEST(EncryptHexString, RoundTripsAndMatchesKnownBlocks) {
  EXPECT_EQ(EncryptHexString("Tiger!42"), kTiger);
  EXPECT_EQ(EncryptHexString("scott"), kScott);
  EXPECT_EQ(EncryptHexString(""), "");
  for (const std::string& plain :
       {std::string("x"), std::string("1234567"), std::string("12345678"), std::string("123456789"),
        std::string(100, 'p'), std::string("\xFF\x80;\n")}) {
    SCOPED_TRACE(plain);
    const std::string hex = EncryptHexString(plain);
    EXPECT_EQ(hex.size(), (plain.size() + 7) / 8 * 16);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(DecryptHexString(hex), plain);
  }
}

TEST(EncryptHexString, ZeroByteEndsTheValueOnDecryption) {
  EXPECT_EQ(DecryptHexString(EncryptHexString(std::string_view("ab\0cd", 5))), "ab");
}

}  // namespace
}  // namespace dbrunner
