// Blowfish block cipher (16 rounds, as published) on 32-bit halves.
#ifndef DBRUNNER_CREDENTIALS_BLOWFISH_H_
#define DBRUNNER_CREDENTIALS_BLOWFISH_H_

#include <cstdint>
#include <span>

namespace dbrunner {

// Subkeys P followed by the four S-boxes: 1042 words in all.
struct BlowfishContext {
  std::uint32_t P[18];
  std::uint32_t S[4][256];
};

// The published initial subkeys, the hexadecimal digits of pi's fractional part
// (defined in blowfish_tables.cc).
extern const std::uint32_t kBlowfishInitP[18];
extern const std::uint32_t kBlowfishInitS[4][256];

// Computes all subkeys of `context` from `key` (521 encipherments). Key bytes
// are used cyclically as big-endian words. REQUIRES: key is not empty.
void BlowfishInit(BlowfishContext& context, std::span<const std::uint8_t> key);

// The standard block operations; halves are updated in place.
void BlowfishEncipher(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right);
void BlowfishDecipher(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right);

// Clears every word of `context` in a way the optimiser cannot drop.
void BlowfishClear(BlowfishContext& context);

}  // namespace dbrunner

#endif  // DBRUNNER_CREDENTIALS_BLOWFISH_H_
