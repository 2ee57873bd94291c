// Portable INI reader: the line, section, key, blank and quote rules that
// Windows applies when it reads one value of a profile file.
#include "statement/profile_reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

namespace dbrunner {
namespace {

// Windows-1252 bytes 0x80-0x9F. The five bytes the code page leaves
// undefined map to the C1 control of the same number, as Windows maps them
// both ways, so every byte survives a round trip.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The Windows-1252 byte of `c`, or nothing when the code page lacks it.
std::optional<char> ToCp1252(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(static_cast<unsigned char>(c));
  for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
    if (kCp1252High[i] == c) return static_cast<char>(static_cast<unsigned char>(0x80 + i));
  }
  return std::nullopt;
}

// One character of the file as a number, whatever the unit type.
char32_t Unit(char c) { return static_cast<unsigned char>(c); }
char32_t Unit(char32_t c) { return c; }

// Blanks trimmed from lines, names and values. Space, TAB and VT are the
// documented ones; FF and Ctrl-Z are trimmed as well, the no-break space
// 0xA0 is not.
template <typename Char>
bool IsBlank(Char c) {
  const char32_t u = Unit(c);
  return u == 0x20 || u == 0x09 || u == 0x0B || u == 0x0C || u == 0x1A;
}

template <typename Char>
bool IsLineEnd(Char c) {
  const char32_t u = Unit(c);
  return u == '\r' || u == '\n';
}

template <typename Char>
std::basic_string_view<Char> TrimBlanks(std::basic_string_view<Char> text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Requested names lose spaces only: a TAB at their edge stays and so never
// matches, since names in the file have been trimmed of it.
std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
  return lower;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// A name read from the file in the bytes a caller could ask for. A name of
// a UTF-16 file with a character the code page lacks cannot be asked for by
// any 8-bit name, so it gives nothing rather than a '?' that would match.
std::optional<std::string> NameBytes(std::string_view name) { return std::string(name); }
std::optional<std::string> NameBytes(std::u32string_view name) {
  std::string bytes;
  bytes.reserve(name.size());
  for (char32_t c : name) {
    const std::optional<char> byte = ToCp1252(c);
    if (!byte) return std::nullopt;
    bytes.push_back(*byte);
  }
  return bytes;
}

// A value in the code page; characters it lacks become '?'.
std::string ValueBytes(std::string_view value) { return std::string(value); }
std::string ValueBytes(std::u32string_view value) {
  std::string bytes;
  bytes.reserve(value.size());
  for (char32_t c : value) bytes.push_back(ToCp1252(c).value_or('?'));
  return bytes;
}

// The value as returned: a NUL ends it (the text beyond was never visible
// through the 8-bit interface), then one outer pair of equal quotes goes.
// Quotes go before any cut to the buffer, so a quoted value that fits
// exactly comes back whole.
template <typename Char>
std::basic_string_view<Char> FinalValue(std::basic_string_view<Char> value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (Unit(value[i]) == 0) {
      value = value.substr(0, i);
      break;
    }
  }
  if (value.size() >= 2) {
    const char32_t first = Unit(value.front());
    if ((first == '"' || first == '\'') && Unit(value.back()) == first) {
      value = value.substr(1, value.size() - 2);
    }
  }
  return value;
}

// One pass over the lines. Lines end at any run of CR and LF; each line is
// trimmed; ';' starts a comment line, '[' a header, and other lines with '='
// are keys. Only the first section whose name matches is collected: a later
// one of the same name is ignored, so the pass ends at the header after it.
template <typename Char>
ProfileSection ParseLines(std::basic_string_view<Char> content, std::string_view wanted) {
  ProfileSection result;
  bool inside = false;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = pos;
    while (end < content.size() && !IsLineEnd(content[end])) ++end;
    const std::basic_string_view<Char> line = TrimBlanks(content.substr(pos, end - pos));
    pos = end < content.size() ? end + 1 : end;
    if (line.empty()) continue;

    const char32_t first = Unit(line.front());
    if (first == ';') continue;
    if (first == '[') {
      if (inside) break;
      // The name ends at the first ']' or, without one, at the end of the
      // line; whatever follows the ']' is ignored, even text with '='.
      std::basic_string_view<Char> name = line.substr(1);
      for (std::size_t i = 0; i < name.size(); ++i) {
        if (Unit(name[i]) == ']') {
          name = name.substr(0, i);
          break;
        }
      }
      const std::optional<std::string> bytes = NameBytes(TrimBlanks(name));
      if (bytes && EqualsAsciiNoCase(*bytes, wanted)) {
        inside = true;
        result.found = true;
      }
      continue;
    }
    // Key lines outside the wanted section, and those before any header,
    // are never read. A line without '=' defines nothing.
    if (!inside) continue;
    std::size_t equals = 0;
    while (equals < line.size() && Unit(line[equals]) != '=') ++equals;
    if (equals == line.size()) continue;
    const std::optional<std::string> key = NameBytes(TrimBlanks(line.substr(0, equals)));
    if (!key) continue;
    // The first line of a name wins, even with an empty value.
    result.values.try_emplace(AsciiLower(*key),
                              ValueBytes(FinalValue(TrimBlanks(line.substr(equals + 1)))));
  }
  return result;
}

// UTF-16LE code units to code points. A surrogate without its partner
// stays as it is (and becomes '?' in the code page); an odd last byte is
// not a character.
std::u32string DecodeUtf16Le(std::string_view bytes) {
  std::u32string text;
  text.reserve(bytes.size() / 2);
  auto unit_at = [&bytes](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const char32_t unit = unit_at(i);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = unit_at(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        text.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    text.push_back(unit);
  }
  return text;
}

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

}  // namespace

ProfileSection ParseProfileSection(std::string_view content, std::string_view section) {
  const std::string_view wanted = TrimSpaces(section);
  // A byte order mark FF FE makes the file UTF-16LE. FE FF (UTF-16BE) is
  // not understood and finds nothing; the UTF-8 mark is not recognised at
  // all and stays three bytes at the start of the first line.
  if (content.size() >= 2 && content[0] == '\xFF' && content[1] == '\xFE') {
    const std::u32string text = DecodeUtf16Le(content.substr(2));
    return ParseLines(std::u32string_view(text), wanted);
  }
  if (content.size() >= 2 && content[0] == '\xFE' && content[1] == '\xFF') return {};
  return ParseLines(content, wanted);
}

ProfileSection ReadProfileSection(const std::string& path, std::string_view section) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return {};
  std::string content;
  char chunk[65536];
  for (;;) {
    const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
    content.append(chunk, n);
    if (n < sizeof chunk) break;
  }
  // A read error (a directory opens on some systems, then fails) counts as
  // a file that cannot be read, not as a shorter file.
  if (std::ferror(file.get())) return {};
  return ParseProfileSection(content, section);
}

std::int32_t GetProfileString(const ProfileSection& section, std::string_view key, char* buffer,
                              std::int32_t size) {
  if (size <= 0 || buffer == nullptr) return 0;
  std::string_view value;
  const auto it = section.values.find(AsciiLower(TrimSpaces(key)));
  if (it != section.values.end()) value = it->second;
  const std::size_t count = std::min(value.size(), static_cast<std::size_t>(size) - 1);
  if (count > 0) std::memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  return static_cast<std::int32_t>(count);
}

}  // namespace dbrunner
