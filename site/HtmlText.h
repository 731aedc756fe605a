#pragma once

#include <string>
#include <string_view>

namespace skycall {

// Text made safe to stand in HTML: "&", "<", ">" and the double quote become entities, so a
// location or phrase can never add a tag or attribute of its own to a page.
std::string escapeHtml(std::string_view text);

// A location as it goes into a link: letters, digits and "-._~," stay, a blank becomes "+",
// every other byte is percent-encoded.
std::string encodeLocation(std::string_view location);

// The reverse, for the location part of a request path: "%xx" becomes its byte and "+" a blank.
// A "%" not followed by two hex digits stays as it is.
std::string decodeLocation(std::string_view encoded);

}  // namespace skycall
