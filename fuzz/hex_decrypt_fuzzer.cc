// Fuzzes the decryption of credential values over arbitrary text, and the
// round trip through encryption with the built-in key and with other keys.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "credentials/blowfish.h"
#include "credentials/hex_decrypt.h"
#include "fuzz/fuzz_check.h"

namespace dbrunner {
namespace {

constexpr std::size_t kBlockBytes = 8;

bool IsZero(const BlowfishContext& context) {
  return std::all_of(std::begin(context.P), std::end(context.P), [](auto w) { return w == 0; }) &&
         std::all_of(&context.S[0][0], &context.S[0][0] + 4 * 256, [](auto w) { return w == 0; });
}

// Any text: at most 8 bytes for each whole group, no zero byte, the context
// wiped, a partial last group ignored, and every group decrypted on its own.
void CheckDecrypt(std::string_view text) {
  BlowfishContext context;
  std::fill(std::begin(context.P), std::end(context.P), 0xA5A5A5A5u);
  const std::string plain = DecryptHexString(text, kCryptKey, context);
  FUZZ_CHECK(IsZero(context));
  FUZZ_CHECK(plain.size() <= kBlockBytes * (text.size() / kHexGroupDigits));
  FUZZ_CHECK(plain.find('\0') == std::string::npos);

  const std::size_t whole = text.size() / kHexGroupDigits * kHexGroupDigits;
  FUZZ_CHECK(DecryptHexString(text.substr(0, whole)) == plain);
  if (whole > 0) {
    const std::string first = DecryptHexString(text.substr(0, kHexGroupDigits));
    FUZZ_CHECK(plain.compare(0, first.size(), first) == 0);
    FUZZ_CHECK(first.size() == kBlockBytes || first == plain);
  }
}

// HexToBin writes count / 2 bytes and no more; pairs of upper-case digits
// decode as hexadecimal.
void CheckHexToBin(std::string_view text) {
  const std::string_view digits = text.substr(0, std::min<std::size_t>(text.size(), 17));
  std::uint8_t bytes[10];
  std::fill(std::begin(bytes), std::end(bytes), 0xEE);
  HexToBin(digits.data(), static_cast<std::int32_t>(digits.size()), bytes);
  const std::size_t written = digits.size() / 2;
  for (std::size_t i = written; i < sizeof bytes; ++i) FUZZ_CHECK(bytes[i] == 0xEE);
  const auto value = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : (c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1);
  };
  for (std::size_t i = 0; i < written; ++i) {
    const int high = value(digits[2 * i]);
    const int low = value(digits[2 * i + 1]);
    if (high >= 0 && low >= 0) FUZZ_CHECK(bytes[i] == high * 16 + low);
  }
}

// What encryption writes, decryption gives back, as long as it holds no zero byte.
void CheckRoundTrip(std::string_view plain, std::string_view key) {
  const std::string hex = EncryptHexString(plain, key);
  FUZZ_CHECK(hex.size() == (plain.size() + kBlockBytes - 1) / kBlockBytes * kHexGroupDigits);
  FUZZ_CHECK(hex.find_first_not_of("0123456789ABCDEF") == std::string::npos);
  const std::string back = DecryptHexString(hex, key);
  FUZZ_CHECK(back == plain.substr(0, plain.find('\0')));
}

}  // namespace
}  // namespace dbrunner

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dbrunner;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckDecrypt(text);
  CheckHexToBin(text);
  CheckRoundTrip(text, kCryptKey);
  // Another key, taken from the input: 1 to 8 of its first bytes.
  if (!text.empty()) {
    const std::size_t key_size = 1 + static_cast<unsigned char>(text[0]) % 8;
    CheckRoundTrip(text, text.substr(0, std::min(key_size, text.size())));
  }
  return 0;
}
