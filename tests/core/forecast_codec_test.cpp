#include <gtest/gtest.h>

#include <random>
#include <string>

#include "forecast/TextCodec.h"

namespace skycall {
namespace {

struct DecodeCase {
  const char* what;
  std::string bytes;
  const char* charset;
  std::wstring text;
};

TEST(DecodePage, ByDeclaredCharsetElseUtf8WithWindows1252Fallback) {
  const DecodeCase cases[] = {
      {"utf-8 two and four byte", "72\xC2\xB0 \xF0\x9F\x8C\xA7", "utf-8", L"72\u00B0 \U0001F327"},
      {"name case-insensitive", "\xC3\xA9", "UTF8", L"\u00E9"},
      {"latin-1 maps bytes one to one", "\x80\xB0\xE9", "ISO-8859-1", L"\u0080\u00B0\u00E9"},
      {"latin1 alias", "\x9F", "Latin1", L"\u009F"},
      {"iso8859-1 alias", "\xC3\xA9", "iso8859-1", L"\u00C3\u00A9"},
      {"windows-1252 high range", "\x80\x93\x9F\xB0", "windows-1252", L"\u20AC\u201C\u0178\u00B0"},
      {"cp1252 unassigned bytes kept", "\x81\x8D\x8F\x90\x9D", "CP1252",
       L"\u0081\u008D\u008F\u0090\u009D"},
      {"quoted, padded name", "\x80", " \"Windows-1252\" ", L"\u20AC"},
      {"unknown charset falls back", "\xC2\xB0\xB0", "koi8-r", L"\u00B0\u00B0"},
      {"no charset: latin-1 degree", "72\xB0", "", L"72\u00B0"},
      {"overlong slash", "\xC0\xAF", "", L"\u00C0\u00AF"},
      {"overlong three-byte", "\xE0\x80\xAF", "", L"\u00E0\u20AC\u00AF"},
      {"surrogate", "\xED\xA0\x80", "", L"\u00ED\u00A0\u20AC"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "", L"\u00F4\u0090\u20AC\u20AC"},
      {"truncated at end", "a\xE2\x82", "", L"a\u00E2\u201A"},
      {"truncated before ASCII", "\xE2\x82x", "", L"\u00E2\u201Ax"},
      {"lone continuation", "\x80z", "", L"\u20ACz"},
      {"highest valid", "\xF4\x8F\xBF\xBF", "", L"\U0010FFFF"},
      {"NUL kept", std::string("a\0b", 3), "", std::wstring(L"a\0b", 3)},
  };
  for (const DecodeCase& c : cases) EXPECT_EQ(decodePage(c.bytes, c.charset), c.text) << c.what;
}

TEST(ToUtf8, EncodesEveryCharacterAndReplacesNonCharacters) {
  struct Case {
    std::wstring text;
    std::string bytes;
  };
  const Case cases[] = {
      {L"72\u00B0", "72\xC2\xB0"},
      {L"\u20AC", "\xE2\x82\xAC"},
      {L"\U0001F327", "\xF0\x9F\x8C\xA7"},
      {std::wstring(1, static_cast<wchar_t>(0xD800)), "\xEF\xBF\xBD"},
      {std::wstring(1, static_cast<wchar_t>(0x110000)), "\xEF\xBF\xBD"},
      {std::wstring(1, static_cast<wchar_t>(-1)), "\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) EXPECT_EQ(toUtf8(c.text), c.bytes);
}

// Any bytes decode to real characters, and decoding what was encoded gives the same text back.
TEST(TextCodec, RandomBytesDecodeToCharactersThatSurviveARoundTrip) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> length(0, 64);
  // Bytes weighted toward the lead and continuation ranges, where the faults are.
  const std::string alphabet =
      "a<\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xED\xEE\xEF\xF0\xF4\xF5\xFF";
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(length(random), '\0');
    for (char& b : bytes) b = alphabet[pick(random)];
    const std::wstring text = fromUtf8(bytes);
    ASSERT_LE(text.size(), bytes.size());
    for (const wchar_t c : text)
      ASSERT_TRUE(c >= 0 && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF));
    ASSERT_EQ(fromUtf8(toUtf8(text)), text);
  }
}

}  // namespace
}  // namespace skycall
