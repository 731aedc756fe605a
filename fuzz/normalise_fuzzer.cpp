// SPDX-License-Identifier: GPL-3.0-or-later
// The normalisation pass on any rows: it ends, keeps the row count and order, rewrites each
// row as the row on its own would be, and leaves no line feed or tab. (A row may still start
// with a blank: "mph" at its start is spelled out after the clean-up, " miles per hour".)
#include <cstdint>
#include <cstdlib>

#include "forecast/Normalise.h"
#include "forecast/RowList.h"
#include "text/TextCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text =
      skycall::fromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
  skycall::RowList list;
  // Rows are separated by the unit separator, so line feeds and tabs stay inside rows.
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(L'\x1F', from)) != std::wstring::npos; from = at + 1)
    list.rows.push_back(text.substr(from, at - from));
  list.rows.push_back(text.substr(from));
  // Pad so the row window (19 to 22) is reached by short inputs too.
  for (std::size_t i = 0; list.rows.size() < 24; ++i) list.rows.push_back(list.rows[i]);
  const auto before = list.rows;
  skycall::normaliseList(list);
  if (list.rows.size() != before.size()) std::abort();
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (list.rows[i] != skycall::normaliseRow(before[i], static_cast<int>(i))) std::abort();
    const std::wstring& r = list.rows[i];
    if (r.find(L'\n') != std::wstring::npos || r.find(L'\t') != std::wstring::npos) std::abort();
  }
  return 0;
}
