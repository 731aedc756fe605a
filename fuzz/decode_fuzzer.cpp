// SPDX-License-Identifier: GPL-3.0-or-later
// Page decoding by every charset: never a byte lost, and UTF-8 out and back is exact. Every
// Unicode scalar value may come out, the noncharacters too (U+FFFE is well-formed UTF-8, and
// the voice passes over it); a surrogate or a value beyond U+10FFFF never does.
#include <cstdint>
#include <cstdlib>

#include "text/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const char* charset : {"", "utf-8", "ISO-8859-1", "windows-1252", "x-unknown"}) {
    const std::wstring text = skycall::decodePage(bytes, charset);
    if (text.size() > bytes.size()) std::abort();  // one character never comes from no byte
    for (const wchar_t c : text)
      if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) std::abort();
    // Text that came out of a page goes back into UTF-8 and out again unchanged.
    if (skycall::fromUtf8(skycall::toUtf8(text)) != text) std::abort();
  }
  // Latin-1 keeps one character per byte.
  if (skycall::decodePage(bytes, "ISO-8859-1").size() != bytes.size()) std::abort();
  return 0;
}
