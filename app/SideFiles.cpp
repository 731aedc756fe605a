// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SideFiles.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "text/TextCodec.h"

namespace skycall {

void writeVersionFile(const std::filesystem::path& folder, const std::wstring& version) {
  const auto path = folder / kVersionFileName;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << toUtf8(version) << "\r\n";
  out.close();
  if (!out) throw std::runtime_error("Cannot write " + path.string() + ": " + std::strerror(errno));
}

}  // namespace skycall
