// Blowfish block cipher: key schedule, block operations and wiping of the subkeys.
#include "credentials/blowfish.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace dbrunner {
namespace {

std::uint32_t F(const BlowfishContext& context, std::uint32_t x) {
  const std::uint32_t a = context.S[0][x >> 24];
  const std::uint32_t b = context.S[1][(x >> 16) & 0xFF];
  const std::uint32_t c = context.S[2][(x >> 8) & 0xFF];
  const std::uint32_t d = context.S[3][x & 0xFF];
  return ((a + b) ^ c) + d;
}

// The block operation shared by the key schedule and BlowfishEncipher; kept
// here so the schedule's 521 calls are inlined.
inline void Encipher(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right) {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = 0; i < 16; i += 2) {
    l ^= context.P[i];
    r ^= F(context, l);
    r ^= context.P[i + 1];
    l ^= F(context, r);
  }
  left = r ^ context.P[17];
  right = l ^ context.P[16];
}

}  // namespace

void BlowfishInit(BlowfishContext& context, std::span<const std::uint8_t> key) {
  for (int box = 0; box < 4; ++box) {
    for (int i = 0; i < 256; ++i) context.S[box][i] = kBlowfishInitS[box][i];
  }
  // Key bytes are taken cyclically, four at a time as one big-endian word.
  std::size_t next = 0;
  for (int i = 0; i < 18; ++i) {
    std::uint32_t word = 0;
    for (int k = 0; k < 4; ++k) {
      word = (word << 8) | (key.empty() ? 0u : key[next]);
      if (!key.empty()) next = (next + 1) % key.size();
    }
    context.P[i] = kBlowfishInitP[i] ^ word;
  }
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (int i = 0; i < 18; i += 2) {
    Encipher(context, left, right);
    context.P[i] = left;
    context.P[i + 1] = right;
  }
  for (int box = 0; box < 4; ++box) {
    for (int i = 0; i < 256; i += 2) {
      Encipher(context, left, right);
      context.S[box][i] = left;
      context.S[box][i + 1] = right;
    }
  }
}

void BlowfishEncipher(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right) {
  Encipher(context, left, right);
}

void BlowfishDecipher(const BlowfishContext& context, std::uint32_t& left, std::uint32_t& right) {
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = 17; i > 1; i -= 2) {
    l ^= context.P[i];
    r ^= F(context, l);
    r ^= context.P[i - 1];
    l ^= F(context, r);
  }
  left = r ^ context.P[0];
  right = l ^ context.P[1];
}

void BlowfishClear(BlowfishContext& context) {
  // Writes through a volatile pointer, so the stores survive even when the
  // context is never read again (a plain memset there may be removed).
  volatile std::uint32_t* p = context.P;
  for (std::size_t i = 0; i < 18; ++i) p[i] = 0;
  for (int box = 0; box < 4; ++box) {
    volatile std::uint32_t* s = context.S[box];
    for (std::size_t i = 0; i < 256; ++i) s[i] = 0;
  }
}

}  // namespace dbrunner
