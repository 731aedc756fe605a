#include <gtest/gtest.h>

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

}  // namespace
}  // namespace skycall
