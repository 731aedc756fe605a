// Locations typed to break the page address or the settings file: each still makes exactly
// one well-formed request per page of the site, and is saved as one line.
#include <gtest/gtest.h>

#include <algorithm>

#include "commands/KeyCodes.h"
#include "forecast/TextCodec.h"
#include "robustness/RealFetchRig.h"
#include "robustness/RequestLineSite.h"

namespace skycall::robustness {
namespace {

struct HostileCase {
  std::string name;
  std::wstring typed;
  std::wstring stored;  // Location after the cycle
  std::string encoded;  // the location as the site must see it in each path
};

std::vector<HostileCase> hostileCases() {
  std::wstring longTyped;
  while (longTyped.size() < 10000) longTyped += L"Springfield IL ";
  longTyped.resize(10000);
  std::wstring longStored = longTyped;
  std::replace(longStored.begin(), longStored.end(), L' ', L'+');
  return {
      {"slash", L"/", L"/", "%2F"},
      {"question mark", L"?", L"?", "%3F"},
      {"hash", L"#", L"#", "%23"},
      {"percent", L"%41", L"%41", "%2541"},
      {"dot dot", L"..", L"..", ".."},
      {"dot", L".", L".", "."},
      {"quotes", L"\"Salem\" 'OR'", L"\"Salem\"+'OR'", "%22Salem%22+%27OR%27"},
      {"CR LF", L"Salem\r\nOR\r\n", L"SalemOR", "SalemOR"},
      {"tab", L"Salem\tOR", L"Salem\tOR", "Salem%09OR"},
      {"another site's address", L"http://example.invalid/x?y#z", L"http://example.invalid/x?y#z",
       "http%3A%2F%2Fexample.invalid%2Fx%3Fy%23z"},
      {"user part", L"me@127.0.0.2", L"me@127.0.0.2", "me%40127.0.0.2"},
      {"query marks", L"a&b=c;d", L"a&b=c;d", "a%26b%3Dc%3Bd"},
      {"German", L"Z\u00fcrich", L"Z\u00fcrich", "Z%C3%BCrich"},
      {"Portuguese with a space", L"S\u00e3o Paulo", L"S\u00e3o+Paulo", "S%C3%A3o+Paulo"},
      {"Japanese", L"\u6771\u4eac", L"\u6771\u4eac", "%E6%9D%B1%E4%BA%AC"},
      {"beyond the BMP", L"\U0001F324 Town", L"\U0001F324+Town", "%F0%9F%8C%A4+Town"},
      {"10,000 characters", longTyped, longStored, toUtf8(longStored)},
  };
}

std::vector<std::string> linesOf(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(bytes.substr(start, end - start));
  if (start != bytes.size()) lines.push_back(bytes.substr(start));  // an unterminated rest
  return lines;
}

// Texts short enough to read in a failure message.
std::string shortened(const std::vector<std::string>& texts) {
  std::string out = "{";
  for (const auto& t : texts)
    out += " \"" + (t.size() > 80 ? t.substr(0, 80) + "...(" + std::to_string(t.size()) + ")" : t) +
           "\"";
  return out + " }";
}

TEST(HostileLocations, OneWellFormedRequestPerPageAndOneSettingsLine) {
  RequestLineSite site;
  for (const HostileCase& c : hostileCases()) {
    SCOPED_TRACE(c.name);
    RealFetchRig rig(site.host());
    fakes::writeBytes(rig.settingsPath(), settingsBytes(" 0 ", " 3 ", "Home Town"));
    ASSERT_TRUE(rig.form->start());
    site.forgetTargets();
    rig.changeLocation(c.typed);

    std::vector<std::string> expectedTargets;
    for (const char* page : {"right-now", "today", "tomorrow", "tenday"})
      expectedTargets.push_back(std::string("/weather/") + page + "/" + c.encoded);
    EXPECT_TRUE(site.targets() == expectedTargets) << "the site saw " << shortened(site.targets())
                                                   << "\ninstead of " << shortened(expectedTargets);
    EXPECT_EQ(rig.rows().size(), 48u)
        << "every page came back whole; heard " << shortened(rig.spoken());
    EXPECT_TRUE(rig.form->Location == c.stored);
    rig.press(vk::Up);
    EXPECT_TRUE(rig.spoken().back() ==
                "Location is set to " + toUtf8(c.stored) + ".  Press Enter to change it.");

    EXPECT_THROW(rig.press(vk::Esc, mask::Shift), fakes::ProgramEnded);
    const std::string saved = fakes::readBytes(rig.settingsPath());
    const std::vector<std::string> lines = linesOf(saved);
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_TRUE(lines[3] == toUtf8(c.stored)) << shortened({lines[3]});
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 13);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\r'), 13);

    // The next start reads it back as it was.
    fakes::TestRig next;
    fakes::writeBytes(next.settingsPath(), saved);
    ASSERT_TRUE(next.form->start());
    EXPECT_EQ(next.window.prompts, 0);
    EXPECT_TRUE(next.form->Location == c.stored);
  }
}

}  // namespace
}  // namespace skycall::robustness
