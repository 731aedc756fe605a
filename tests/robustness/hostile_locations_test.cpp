// Locations typed to break the page address or the settings file: each still makes exactly
// one well-formed request per page of the site, and is saved as one line that reads back whole.
#include <gtest/gtest.h>

#include <algorithm>

#include "commands/KeyCodes.h"
#include "robustness/FaultSite.h"
#include "robustness/RealFetchRig.h"

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
      {"quotes and a comma", L"\"Salem\", 'OR'", L"\"Salem\",+'OR'", "%22Salem%22,+%27OR%27"},
      {"CR LF", L"Salem\r\nOR\r\n", L"SalemOR", "SalemOR"},
      {"tab", L"Salem\tOR", L"Salem\tOR", "Salem%09OR"},
      {"another site's address", L"http://me@example.invalid/x?y#z",
       L"http://me@example.invalid/x?y#z", "http%3A%2F%2Fme%40example.invalid%2Fx%3Fy%23z"},
      {"non-ASCII with a space", L"S\u00e3o Paulo", L"S\u00e3o+Paulo", "S%C3%A3o+Paulo"},
      {"beyond the BMP", L"\U0001F324 Town", L"\U0001F324+Town", "%F0%9F%8C%A4+Town"},
      {"10,000 characters", longTyped, longStored, toUtf8(longStored)},
  };
}

TEST(HostileLocations, OneWellFormedRequestPerPageAndOneSettingsLine) {
  FaultSite site;
  for (const HostileCase& c : hostileCases()) {
    SCOPED_TRACE(c.name.substr(0, 80));
    RealFetchRig rig(site.host(), settingsFile(" 0 ", " 3 ", "Home Town"));
    ASSERT_TRUE(rig.form->start());
    site.takeTargets();
    rig.fetcher.addresses.clear();
    rig.changeLocation(c.typed);

    // The site's http server, like the real one's, refuses request lines past 8 KB: that
    // location's first page fails as any refused page does, and only its address is checked.
    const bool fits = c.encoded.size() < 8000;
    std::vector<std::string> targets, addresses;
    for (const char* page : {"right-now", "today", "tomorrow", "tenday"}) {
      targets.push_back(std::string("/weather/") + page + "/" + c.encoded);
      addresses.push_back("http://" + site.host() + targets.back());
    }
    if (!fits) {
      addresses.resize(1);
      targets.clear();
    }
    EXPECT_TRUE(rig.fetcher.addresses == addresses);
    EXPECT_TRUE(site.takeTargets() == targets);
    EXPECT_EQ(rig.rows().size(), fits ? 48u : 0u);
    EXPECT_TRUE(rig.form->Location == c.stored);
    rig.press(vk::Up);
    EXPECT_TRUE(rig.spoken().back() ==
                "Location is set to " + toUtf8(c.stored) + ".  Press Enter to change it.");

    EXPECT_THROW(rig.press(vk::Esc, mask::Shift), fakes::ProgramEnded);
    const std::string saved = fakes::readBytes(rig.settingsPath());
    EXPECT_TRUE(saved == settingsFile(" 0 ", " 3 ", toUtf8(c.stored)));

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
