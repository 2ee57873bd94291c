// Parameter substitution: $parm01..$parm99 replaced by the command-line values,
// each value made safe for the place where its placeholder stands.
#include "statement/parameters.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The statement runs without bind values, so a value spliced in unchanged
// could reshape it: x' OR '1'='1 inside '$parm01' would turn an UPDATE of one
// row into an UPDATE of every row. Each value is therefore judged by the
// place of its placeholder and either made safe there or refused.
//
// Substitution
//  - For n = 1 .. min(count, 99), in ascending order, the first occurrence of
//    "$parm" + n in two digits in the current text is replaced; later
//    occurrences stay, so do placeholders beyond the count. A value holding a
//    later placeholder may be replaced by that later parameter. "$parm011" is
//    $parm01 followed by "1"; "$PARM01" and "$parm1" are not placeholders.
//    Parameters after the 99th cannot be named and are never looked at.
//  - An empty value removes the placeholder (unless the last check below
//    finds that the bytes it leaves side by side now read differently).
//  - A refused value stops the substitution: the run must not execute the text.
//
// Reading the text (from its start up to the placeholder)
//  - code: ' opens a literal; E' or e' opens an escape literal unless the E
//    continues a name (letter, digit, _, $ or a byte above 0x7F before it);
//    " opens a quoted name; -- a line comment; /* a block comment.
//  - literal: '' stays inside, a single ' closes; in an escape literal a
//    backslash also takes the next byte with it.
//  - quoted name: "" stays inside, a single " closes.
//  - line comment: ends after CR or LF. Block comment: ends after */ (no nesting).
//  - A place still open at the end of the text is simply reported. Bytes
//    above 0x7F and NUL are ordinary bytes.
//
// Making the value safe for its place
//  - literal '...': every ' doubled.
//  - escape literal E'...': every ' and every backslash doubled.
//  - quoted name "...": every " doubled.
//  - line comment: refused when it holds CR or LF.
//  - block comment: refused when it holds "*/" or "/*" (some servers nest
//    block comments), also formed with the byte on either side (for an empty
//    value: by the two bytes that become neighbours).
//  - code: only a comma-separated list of items, with optional blanks (space,
//    tab) around items and commas. An item is a number ([+-], digits with an
//    optional .digits, or .digits; optional e/E[+-]digits), a '...' literal
//    with '' inside, or a name (ASCII letter or _, then letters, digits, _,
//    #; dot-qualified a.b.c; no $, which could close a PostgreSQL $$ string).
//    Refused as well: a value whose first or last byte forms "--", "/*" or "*/" with the byte next
//    to it; a value starting with ' after a name character (letter, digit, _, $, # or a byte above
//    0x7F: it would become a prefixed literal such as E'..', N'.., q'..); a
//    value ending in a name character before a '.
//  - Everywhere: a non-empty value holding a NUL byte is refused (a C client
//    interface would end the statement there), and so is every value placed
//    right after an escaping backslash (the backslash would take its first byte).
//  - Last check, everywhere, empty values included: the new text is read
//    again; the value must stay in its place (outside code), end in the same
//    place it started in, and the text on both sides must read exactly as it
//    did before. Otherwise the value is refused.

namespace dbrunner {
namespace {

// "$parm" and two digits.
constexpr std::size_t kPlaceholderChars = 7;

bool IsAsciiLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsBlank(int c) { return c == ' ' || c == '\t'; }

// A byte that continues a name on servers with E'...' literals: there '#' is
// an operator, so "#E'..'" opens an escape literal.
bool ContinuesName(int c) {
  return IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '$' || c >= 0x80;
}

// A byte that would turn a following quote into a literal prefix (E'', N'',
// q''): every name character of any server we may talk to.
bool IsNameByte(int c) { return ContinuesName(c) || c == '#'; }

// Reads the text one mark at a time. A mark is one byte or a two-byte mark
// (--, /*, */, '', "", E', backslash and the byte it escapes).
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::size_t pos() const { return pos_; }
  SqlContext context() const { return context_; }
  bool AtEnd() const { return pos_ >= text_.size(); }

  // Reads marks until `pos` is reached or passed (a two-byte mark may pass it).
  void SkipTo(std::size_t pos) {
    while (pos_ < pos && !AtEnd()) Step();
  }

  void Step() {
    const int c = At(pos_);
    const int next = At(pos_ + 1);
    std::size_t length = 1;
    switch (context_) {
      case SqlContext::kCode:
        if (c == '\'') {
          context_ = SqlContext::kStringLiteral;
        } else if ((c == 'E' || c == 'e') && next == '\'' &&
                   (pos_ == 0 || !ContinuesName(At(pos_ - 1)))) {
          context_ = SqlContext::kEscapeLiteral;
          length = 2;
        } else if (c == '"') {
          context_ = SqlContext::kQuotedName;
        } else if (c == '-' && next == '-') {
          context_ = SqlContext::kLineComment;
          length = 2;
        } else if (c == '/' && next == '*') {
          context_ = SqlContext::kBlockComment;
          length = 2;
        }
        break;
      case SqlContext::kEscapeLiteral:
        if (c == '\\') {
          length = 2;
          break;
        }
        [[fallthrough]];
      case SqlContext::kStringLiteral:
        if (c == '\'') {
          if (next == '\'') {
            length = 2;
          } else {
            context_ = SqlContext::kCode;
          }
        }
        break;
      case SqlContext::kQuotedName:
        if (c == '"') {
          if (next == '"') {
            length = 2;
          } else {
            context_ = SqlContext::kCode;
          }
        }
        break;
      case SqlContext::kLineComment:
        if (c == '\r' || c == '\n') context_ = SqlContext::kCode;
        break;
      case SqlContext::kBlockComment:
        if (c == '*' && next == '/') {
          context_ = SqlContext::kCode;
          length = 2;
        }
        break;
    }
    pos_ = std::min(pos_ + length, text_.size());
  }

 private:
  // The byte at `i` as 0..255, or -1 past the end.
  int At(std::size_t i) const {
    return i < text_.size() ? static_cast<unsigned char>(text_[i]) : -1;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  SqlContext context_ = SqlContext::kCode;
};

std::string Doubled(std::string_view value, std::string_view to_double) {
  std::string out;
  out.reserve(value.size() + value.size() / 4);
  for (const char c : value) {
    out += c;
    if (to_double.find(c) != std::string_view::npos) out += c;
  }
  return out;
}

// Each Read* reads one item of a code value at `*i` and moves past it; false
// when no such item starts there.
bool ReadNumber(std::string_view v, std::size_t* i) {
  std::size_t j = *i;
  auto digits = [&] {
    const std::size_t start = j;
    while (j < v.size() && IsDigit(v[j])) ++j;
    return j > start;
  };
  if (j < v.size() && (v[j] == '+' || v[j] == '-')) ++j;
  const bool whole = digits();
  bool fraction = false;
  if (j < v.size() && v[j] == '.') {
    ++j;
    fraction = digits();
    if (!fraction) return false;  // "1." and a lone "." are not taken
  }
  if (!whole && !fraction) return false;
  if (j < v.size() && (v[j] == 'e' || v[j] == 'E')) {
    ++j;
    if (j < v.size() && (v[j] == '+' || v[j] == '-')) ++j;
    if (!digits()) return false;
  }
  *i = j;
  return true;
}

bool ReadQuoted(std::string_view v, std::size_t* i) {
  std::size_t j = *i;
  if (j >= v.size() || v[j] != '\'') return false;
  ++j;
  while (j < v.size()) {
    if (v[j] == '\'') {
      if (j + 1 < v.size() && v[j + 1] == '\'') {
        j += 2;
        continue;
      }
      *i = j + 1;
      return true;
    }
    ++j;
  }
  return false;  // unterminated
}

bool ReadName(std::string_view v, std::size_t* i) {
  std::size_t j = *i;
  for (;;) {
    if (j >= v.size() || !(IsAsciiLetter(v[j]) || v[j] == '_')) return false;
    ++j;
    // No '$': on PostgreSQL "$$" or "$tag$" in a name would end a dollar-quoted
    // string that the placeholder stands in, which this reader does not see.
    while (j < v.size() && (IsAsciiLetter(v[j]) || IsDigit(v[j]) || v[j] == '_' || v[j] == '#')) {
      ++j;
    }
    if (j < v.size() && v[j] == '.') {
      ++j;  // a qualifier: another name part must follow
      continue;
    }
    *i = j;
    return true;
  }
}

// A number, a name or a list of them (with '...' literals) and nothing else.
bool IsCodeList(std::string_view v) {
  std::size_t i = 0;
  for (;;) {
    while (i < v.size() && IsBlank(v[i])) ++i;
    if (!ReadNumber(v, &i) && !ReadQuoted(v, &i) && !ReadName(v, &i)) return false;
    while (i < v.size() && IsBlank(v[i])) ++i;
    if (i == v.size()) return true;
    if (v[i] != ',') return false;
    ++i;
  }
}

bool FormsCommentMark(int first, int second) {
  return (first == '-' && second == '-') || (first == '/' && second == '*') ||
         (first == '*' && second == '/');
}

// The byte at `i` of `text` as 0..255, or -1 outside it.
int ByteAt(std::string_view text, std::size_t i) {
  return i < text.size() ? static_cast<unsigned char>(text[i]) : -1;
}

// Code-place checks against the bytes around the value (`before`, `after`, -1 at
// the text's edges); `value` is not empty.
bool GluesInCode(int before, std::string_view value, int after) {
  const int first = static_cast<unsigned char>(value.front());
  const int last = static_cast<unsigned char>(value.back());
  return FormsCommentMark(before, first) || FormsCommentMark(last, after) ||
         (first == '\'' && IsNameByte(before)) || (IsNameByte(last) && after == '\'');
}

// Whether `after` (the text with the made-safe value spliced in at `at`, in
// place of a placeholder) reads like the text before outside the value, and the value stays in
// `context`: inside it for every place but code, and at its end for all.
// `old` stands at the placeholder in `before`.
bool ReadsAsBefore(Scanner old, std::string_view after, std::size_t at, std::size_t safe_size,
                   SqlContext context) {
  Scanner fresh(after);
  fresh.SkipTo(at);
  if (fresh.pos() != at || fresh.context() != context) return false;  // glued to the left
  const std::size_t value_end = at + safe_size;
  while (fresh.pos() < value_end) {
    fresh.Step();
    if (context != SqlContext::kCode && fresh.context() != context) return false;
  }
  if (fresh.pos() != value_end || fresh.context() != context) return false;

  // The placeholder's own bytes start no mark, so the old text reads on from
  // its end in `context`; the rest must now read mark for mark the same.
  old.SkipTo(at + kPlaceholderChars);
  if (old.pos() != at + kPlaceholderChars || old.context() != context) return false;
  while (!old.AtEnd()) {
    old.Step();
    fresh.Step();
    if (old.pos() - at - kPlaceholderChars != fresh.pos() - value_end ||
        old.context() != fresh.context()) {
      return false;
    }
  }
  return fresh.AtEnd();
}

// The text with `value` made safe for the placeholder at `at`, or false.
// `out` must not hold `text`; its old content is dropped, its capacity reused.
bool Splice(std::string_view text, std::size_t at, std::string_view value, std::string* out) {
  Scanner scanner(text);
  scanner.SkipTo(at);
  // The '$' taken by a backslash of E'..\': whatever follows would be taken.
  if (scanner.pos() != at) return false;
  const SqlContext context = scanner.context();
  if (value.find('\0') != std::string_view::npos) return false;

  std::string safe;
  switch (context) {
    case SqlContext::kStringLiteral:
      safe = Doubled(value, "'");
      break;
    case SqlContext::kEscapeLiteral:
      safe = Doubled(value, "'\\");
      break;
    case SqlContext::kQuotedName:
      safe = Doubled(value, "\"");
      break;
    case SqlContext::kLineComment:
      if (value.find_first_of("\r\n") != std::string_view::npos) return false;
      safe = value;
      break;
    case SqlContext::kBlockComment: {
      std::string joined;
      if (at > 0) joined += text[at - 1];
      joined += value;
      if (at + kPlaceholderChars < text.size()) joined += text[at + kPlaceholderChars];
      if (joined.find("*/") != std::string::npos || joined.find("/*") != std::string::npos) {
        return false;
      }
      safe = value;
      break;
    }
    case SqlContext::kCode:
      if (!value.empty() &&
          (!IsCodeList(value) || GluesInCode(at > 0 ? ByteAt(text, at - 1) : -1, value,
                                             ByteAt(text, at + kPlaceholderChars)))) {
        return false;
      }
      safe = value;
      break;
  }

  std::string& spliced = *out;
  spliced.clear();
  spliced.reserve(text.size() - kPlaceholderChars + safe.size());
  spliced.append(text.substr(0, at));
  spliced.append(safe);
  spliced.append(text.substr(at + kPlaceholderChars));
  return ReadsAsBefore(scanner, spliced, at, safe.size(), context);
}

}  // namespace

SqlContext ContextAt(std::string_view sql, std::size_t pos) {
  Scanner scanner(sql);
  scanner.SkipTo(pos);
  return scanner.context();
}

std::int32_t ReplaceParameters(std::string& sql_text, const std::vector<std::string>& params,
                               int* refused) {
  if (refused != nullptr) *refused = 0;
  // Placeholders have two digits, so parameters after the 99th cannot be named.
  const int count = static_cast<int>(std::min(params.size(), std::size_t{kMaxPlaceholders}));
  // Each placement is built here and then swapped with the text, so the two
  // buffers keep their room: a fresh buffer per placement would fault in a
  // statement's worth of new pages 99 times over for long values.
  std::string spliced;
  for (int n = 1; n <= count; ++n) {
    std::string pattern = "$parm";
    pattern += static_cast<char>('0' + n / 10);
    pattern += static_cast<char>('0' + n % 10);
    // Only the first occurrence, searched in the text as changed so far.
    const std::size_t at = sql_text.find(pattern);
    if (at == std::string::npos) continue;
    if (!Splice(sql_text, at, params[static_cast<std::size_t>(n - 1)], &spliced)) {
      if (refused != nullptr) *refused = n;
      return kStatusParameterRefused;
    }
    sql_text.swap(spliced);
  }
  return 0;
}

}  // namespace dbrunner
