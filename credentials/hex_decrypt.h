// Encrypted credential values: hexadecimal text of Blowfish blocks with
// little-endian halves, under the key built into the program.
#ifndef DBRUNNER_CREDENTIALS_HEX_DECRYPT_H_
#define DBRUNNER_CREDENTIALS_HEX_DECRYPT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "credentials/blowfish.h"

namespace dbrunner {

// The key every credential value is encrypted with (its 7 bytes, no terminator).
inline constexpr std::string_view kCryptKey = "RIZEZIV";

// Digits per encrypted block: 8 bytes, two digits each.
inline constexpr std::size_t kHexGroupDigits = 16;

// Converts `count` digits into count / 2 bytes. "A".."F" are worth d - 55,
// every other character (lower-case "a".."f" included) d - 48, modulo 256.
void HexToBin(const char* digits, std::int32_t count, std::uint8_t* bytes);

// Decrypts every whole 16-digit group of `text` and returns the plaintext up to
// its first zero byte. A trailing partial group is dropped: its missing digits
// are unknown, and it is what a stray blank or the lone line feed of an empty
// value leaves behind. Keys the given context, and clears it before returning.
std::string DecryptHexString(std::string_view text, std::string_view key, BlowfishContext& context);

// The same with a context of its own (on the stack, cleared afterwards).
std::string DecryptHexString(std::string_view text, std::string_view key = kCryptKey);

// The inverse, for writing credential files: `plain` padded with zero bytes to
// whole blocks, as upper-case hex digits (16 per block; empty text gives "").
std::string EncryptHexString(std::string_view plain, std::string_view key = kCryptKey);

}  // namespace dbrunner

#endif  // DBRUNNER_CREDENTIALS_HEX_DECRYPT_H_
