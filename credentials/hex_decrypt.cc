// Hex text of Blowfish blocks with little-endian halves: decryption and its inverse.
#include "credentials/hex_decrypt.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "credentials/blowfish.h"

namespace dbrunner {
namespace {

constexpr std::size_t kBlockBytes = 8;

std::span<const std::uint8_t> KeyBytes(std::string_view key) {
  return {reinterpret_cast<const std::uint8_t*>(key.data()), key.size()};
}

std::uint32_t DecodeLittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void EncodeLittleEndian32(std::uint32_t word, std::uint8_t* bytes) {
  bytes[0] = static_cast<std::uint8_t>(word);
  bytes[1] = static_cast<std::uint8_t>(word >> 8);
  bytes[2] = static_cast<std::uint8_t>(word >> 16);
  bytes[3] = static_cast<std::uint8_t>(word >> 24);
}

// The digit rule for one character (see HexToBin).
unsigned DigitValue(char digit) {
  const unsigned code = static_cast<unsigned char>(digit);
  return (digit >= 'A' && digit <= 'F') ? code - 55u : code - 48u;
}

}  // namespace

void HexToBin(const char* digits, std::int32_t count, std::uint8_t* bytes) {
  // Only "A".."F" count as letters: "a" is worth 'a' - 48 = 49, so lower-case
  // digits decode to other bytes than their upper-case forms. Values written
  // by the product are upper-case; everything else decodes without complaint.
  for (std::int32_t i = 0; i + 1 < count; i += 2) {
    const unsigned high = DigitValue(digits[i]);
    const unsigned low = DigitValue(digits[i + 1]);
    bytes[i / 2] = static_cast<std::uint8_t>(high * 16u + low);  // modulo 256
  }
}

std::string DecryptHexString(std::string_view text, std::string_view key,
                             BlowfishContext& context) {
  BlowfishInit(context, KeyBytes(key));
  std::string plain;
  plain.reserve(text.size() / kHexGroupDigits * kBlockBytes);
  // Only whole groups are decrypted: the digits a partial group lacks are
  // unknown, and a trailing line feed or blank must not turn into a block.
  for (std::size_t offset = 0; offset + kHexGroupDigits <= text.size(); offset += kHexGroupDigits) {
    std::uint8_t block[kBlockBytes];
    HexToBin(text.data() + offset, static_cast<std::int32_t>(kHexGroupDigits), block);
    std::uint32_t left = DecodeLittleEndian32(block);
    std::uint32_t right = DecodeLittleEndian32(block + 4);
    BlowfishDecipher(context, left, right);
    EncodeLittleEndian32(left, block);
    EncodeLittleEndian32(right, block + 4);
    plain.append(reinterpret_cast<const char*>(block), kBlockBytes);
  }
  BlowfishClear(context);
  // The plaintext is a C text: it ends at its first zero byte.
  const std::size_t end = plain.find('\0');
  if (end != std::string::npos) plain.resize(end);
  return plain;
}

std::string DecryptHexString(std::string_view text, std::string_view key) {
  BlowfishContext context;
  return DecryptHexString(text, key, context);
}

std::string EncryptHexString(std::string_view plain, std::string_view key) {
  // A plaintext holding a zero byte does not come back whole: decryption stops
  // at the first zero byte, as it must for the zero padding.
  static constexpr char kDigits[] = "0123456789ABCDEF";
  BlowfishContext context;
  BlowfishInit(context, KeyBytes(key));
  std::string hex;
  hex.reserve((plain.size() + kBlockBytes - 1) / kBlockBytes * kHexGroupDigits);
  for (std::size_t offset = 0; offset < plain.size(); offset += kBlockBytes) {
    std::uint8_t block[kBlockBytes] = {};
    for (std::size_t i = 0; i < kBlockBytes && offset + i < plain.size(); ++i) {
      block[i] = static_cast<std::uint8_t>(plain[offset + i]);
    }
    std::uint32_t left = DecodeLittleEndian32(block);
    std::uint32_t right = DecodeLittleEndian32(block + 4);
    BlowfishEncipher(context, left, right);
    EncodeLittleEndian32(left, block);
    EncodeLittleEndian32(right, block + 4);
    for (const std::uint8_t byte : block) {
      hex.push_back(kDigits[byte >> 4]);
      hex.push_back(kDigits[byte & 0x0F]);
    }
  }
  BlowfishClear(context);
  return hex;
}

}  // namespace dbrunner
