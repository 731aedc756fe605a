// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/TextCodec.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace skycall {

static_assert(sizeof(wchar_t) == 4, "texts hold one Unicode character per wchar_t");

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// windows-1252 differs from ISO-8859-1 only in 0x80-0x9F; its five unassigned bytes keep their
// ISO-8859-1 meaning so that no byte is lost.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

wchar_t fromWindows1252(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) return static_cast<wchar_t>(kWindows1252High[byte - 0x80]);
  return static_cast<wchar_t>(byte);
}

std::wstring fromLatin1(std::string_view bytes) {
  std::wstring text(bytes.size(), L'\0');
  std::transform(bytes.begin(), bytes.end(), text.begin(),
                 [](char c) { return static_cast<wchar_t>(static_cast<unsigned char>(c)); });
  return text;
}

std::wstring fromWindows1252(std::string_view bytes) {
  std::wstring text(bytes.size(), L'\0');
  std::transform(bytes.begin(), bytes.end(), text.begin(),
                 [](char c) { return fromWindows1252(static_cast<unsigned char>(c)); });
  return text;
}

bool isContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The well-formed UTF-8 sequence starting at bytes[at]: its length and character, or length 0.
// Overlong forms, surrogates, values above U+10FFFF and cut-off sequences are not well formed.
struct Decoded {
  std::size_t length;
  char32_t character;
};

Decoded decodeSequence(std::string_view bytes, std::size_t at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[at + k]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t character = 0;
  // The allowed range of the second byte narrows for E0, ED, F0 and F4 to exclude overlong
  // forms, surrogates and values above U+10FFFF.
  unsigned char secondLow = 0x80, secondHigh = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    character = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    character = lead & 0x0F;
    if (lead == 0xE0) secondLow = 0xA0;
    if (lead == 0xED) secondHigh = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    character = lead & 0x07;
    if (lead == 0xF0) secondLow = 0x90;
    if (lead == 0xF4) secondHigh = 0x8F;
  } else {
    return {0, 0};
  }
  if (bytes.size() - at < length) return {0, 0};
  if (byte(1) < secondLow || byte(1) > secondHigh) return {0, 0};
  for (std::size_t k = 1; k < length; ++k) {
    if (!isContinuation(byte(k))) return {0, 0};
    character = (character << 6) | (byte(k) & 0x3F);
  }
  return {length, character};
}

std::string asciiLower(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

// A declared charset as a plain name: blanks and quotes around it are not part of it.
std::string_view trimmedCharset(std::string_view charset) {
  constexpr std::string_view kAround = " \t\"'";
  const std::size_t first = charset.find_first_not_of(kAround);
  if (first == std::string_view::npos) return {};
  const std::size_t last = charset.find_last_not_of(kAround);
  return charset.substr(first, last - first + 1);
}

enum class Charset { Utf8, Latin1, Windows1252 };

struct CharsetName {
  std::string_view name;
  Charset charset;
};

constexpr std::array<CharsetName, 7> kCharsetNames = {{
    {"utf-8", Charset::Utf8},
    {"utf8", Charset::Utf8},
    {"iso-8859-1", Charset::Latin1},
    {"latin1", Charset::Latin1},
    {"iso8859-1", Charset::Latin1},
    {"windows-1252", Charset::Windows1252},
    {"cp1252", Charset::Windows1252},
}};

}  // namespace

std::wstring fromUtf8(std::string_view bytes) {
  // Never more characters than bytes: write in place, then trim.
  std::wstring text(bytes.size(), L'\0');
  wchar_t* out = text.data();
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
      *out++ = static_cast<wchar_t>(lead);
      ++at;
      continue;
    }
    const Decoded decoded = decodeSequence(bytes, at);
    if (decoded.length == 0) {
      // Not UTF-8 here: most likely a page saved in the Windows code page.
      *out++ = fromWindows1252(lead);
      ++at;
    } else {
      *out++ = static_cast<wchar_t>(decoded.character);
      at += decoded.length;
    }
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
  return text;
}

std::wstring decodePage(std::string_view body, std::string_view charset) {
  const std::string name = asciiLower(trimmedCharset(charset));
  const auto known = std::find_if(kCharsetNames.begin(), kCharsetNames.end(),
                                  [&](const CharsetName& c) { return c.name == name; });
  if (known != kCharsetNames.end()) {
    switch (known->charset) {
      case Charset::Latin1:
        return fromLatin1(body);
      case Charset::Windows1252:
        return fromWindows1252(body);
      case Charset::Utf8:
        break;  // a declared UTF-8 page that holds a stray byte still loses nothing
    }
  }
  return fromUtf8(body);
}

std::string toUtf8(std::wstring_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (const wchar_t wide : text) {
    auto c = static_cast<char32_t>(static_cast<std::uint32_t>(wide));
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementCharacter;
    if (c < 0x80) {
      bytes.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
      bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      bytes.push_back(static_cast<char>(0xE0 | (c >> 12)));
      bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      bytes.push_back(static_cast<char>(0xF0 | (c >> 18)));
      bytes.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return bytes;
}

}  // namespace skycall
