// Fuzzes the parameter substitution: a statement text and up to 101 values.
// Input: the text, then each value, separated by a backslash and one more
// byte (a doubled backslash stands for one), as FuzzedDataProvider splits it.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "statement/parameters.h"

namespace dbrunner {
namespace {

constexpr std::size_t kPlaceholderChars = 7;

std::string Placeholder(int n) {
  std::string pattern = "$parm";
  pattern += static_cast<char>('0' + n / 10);
  pattern += static_cast<char>('0' + n % 10);
  return pattern;
}

// The value back from its quoted form, where each character of `doubled`
// stands twice; false when one stands alone.
bool Undouble(std::string_view quoted, std::string_view doubled, std::string* value) {
  value->clear();
  for (std::size_t i = 0; i < quoted.size(); ++i) {
    *value += quoted[i];
    if (doubled.find(quoted[i]) != std::string_view::npos) {
      if (i + 1 >= quoted.size() || quoted[i + 1] != quoted[i]) return false;
      ++i;
    }
  }
  return true;
}

// Offsets 0..size, all of them for a short span, else those near both ends
// and a few between: enough to see a literal or comment that ends too early.
std::vector<std::size_t> Offsets(std::size_t size) {
  std::vector<std::size_t> offsets;
  if (size <= 96) {
    for (std::size_t i = 0; i <= size; ++i) offsets.push_back(i);
    return offsets;
  }
  for (std::size_t i = 0; i < 24; ++i) {
    offsets.push_back(i);
    offsets.push_back(size - i);
  }
  for (std::size_t i = 1; i < 8; ++i) offsets.push_back(size * i / 8);
  return offsets;
}

// One accepted substitution of `value` for the placeholder at `at` of
// `before`, giving `after`: the text before the placeholder stays; the value
// lands quoted as its place demands; and the text after it reads exactly as
// it did after the placeholder (no literal, name or comment ends or starts
// early), so the value cannot change the statement around it.
void CheckSplice(const std::string& before, std::size_t at, const std::string& value,
                 const std::string& after) {
  const std::size_t tail = before.size() - at - kPlaceholderChars;
  FUZZ_CHECK(after.size() >= at + tail);
  FUZZ_CHECK(after.compare(0, at, before, 0, at) == 0);
  FUZZ_CHECK(after.compare(after.size() - tail, tail, before, at + kPlaceholderChars) == 0);
  const std::string inserted = after.substr(at, after.size() - at - tail);
  FUZZ_CHECK(value.empty() || value.find('\0') == std::string::npos);

  const SqlContext place = ContextAt(before, at);
  std::string back;
  switch (place) {
    case SqlContext::kStringLiteral:
      FUZZ_CHECK(Undouble(inserted, "'", &back) && back == value);
      break;
    case SqlContext::kEscapeLiteral:
      FUZZ_CHECK(Undouble(inserted, "'\\", &back) && back == value);
      break;
    case SqlContext::kQuotedName:
      FUZZ_CHECK(Undouble(inserted, "\"", &back) && back == value);
      break;
    case SqlContext::kCode:
    case SqlContext::kLineComment:
    case SqlContext::kBlockComment:
      FUZZ_CHECK(inserted == value);
      break;
  }

  // Nothing before the value reads differently, even the mark just before it.
  if (at > 0) FUZZ_CHECK(ContextAt(after, at - 1) == ContextAt(before, at - 1));
  FUZZ_CHECK(ContextAt(after, at) == place);
  // Outside code the value stays in its place from its first byte to its last.
  if (place != SqlContext::kCode) {
    for (const std::size_t i : Offsets(inserted.size())) {
      FUZZ_CHECK(ContextAt(after, at + i) == place);
    }
  }
  for (const std::size_t i : Offsets(tail)) {
    FUZZ_CHECK(ContextAt(after, at + inserted.size() + i) ==
               ContextAt(before, at + kPlaceholderChars + i));
  }
}

// One substitution step alone, through ReplaceParameters with a single
// value: the placeholder at `at` is renamed $parm01, and every $parm01 before
// it $parm00 (same length and kind of bytes, so the text reads the same).
bool Step(const std::string& text, std::size_t at, const std::string& value, std::string* out) {
  std::string renamed = text;
  std::vector<std::size_t> hidden;
  for (std::size_t pos = renamed.find("$parm01"); pos < at;
       pos = renamed.find("$parm01", pos + 1)) {
    renamed[pos + 6] = '0';
    hidden.push_back(pos);
  }
  renamed.replace(at, kPlaceholderChars, "$parm01");
  int refused = -1;
  if (ReplaceParameters(renamed, {value}, &refused) != 0) {
    FUZZ_CHECK(refused == 1);
    return false;
  }
  FUZZ_CHECK(refused == 0);
  for (const std::size_t pos : hidden) renamed[pos + 6] = '1';
  *out = std::move(renamed);
  return true;
}

}  // namespace
}  // namespace dbrunner

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dbrunner;
  FuzzedDataProvider provider(data, size);
  const std::string sql = provider.ConsumeRandomLengthString(4096);
  std::vector<std::string> params;
  while (provider.remaining_bytes() > 0 && params.size() < 101) {
    params.push_back(provider.ConsumeRandomLengthString(512));
  }

  std::string result = sql;
  int refused = -1;
  const std::int32_t status = ReplaceParameters(result, params, &refused);

  // The same, one placeholder at a time, each step checked on its own.
  std::string text = sql;
  int expected_refused = 0;
  const int count = static_cast<int>(std::min<std::size_t>(params.size(), kMaxPlaceholders));
  for (int n = 1; n <= count; ++n) {
    const std::size_t at = text.find(Placeholder(n));
    if (at == std::string::npos) continue;
    const std::string& value = params[static_cast<std::size_t>(n - 1)];
    std::string next;
    if (!Step(text, at, value, &next)) {
      expected_refused = n;
      break;
    }
    CheckSplice(text, at, value, next);
    text = std::move(next);
  }
  FUZZ_CHECK(refused == expected_refused);
  if (expected_refused == 0) {
    FUZZ_CHECK(status == 0 && result == text);
  } else {
    FUZZ_CHECK(status == kStatusParameterRefused);
  }
  return 0;
}
