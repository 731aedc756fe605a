#include "site/SitePage.h"

#include "site/HtmlText.h"

namespace skycall {

std::optional<PageRequest> parsePageTarget(std::string_view target) {
  target = target.substr(0, target.find('?'));
  for (const SitePath& entry : kSitePaths) {
    if (target.substr(0, entry.path.size()) == entry.path)
      return PageRequest{entry.page, decodeLocation(target.substr(entry.path.size()))};
  }
  return std::nullopt;
}

}  // namespace skycall
