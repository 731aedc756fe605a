// Keys that arrive while a location change is under way (while its prompt is open, at the event
// pump after each page, in the hold that ends it): no crash, no rows of two cycles mixed, no
// cycle inside a cycle, and the key itself still handled.
#include <gtest/gtest.h>

#include <algorithm>

#include "commands/KeyCodes.h"
#include "fixtures/Fixtures.h"
#include "robustness/RealFetchRig.h"

namespace skycall::robustness {
namespace {

using Said = std::vector<std::string>;

const std::vector<std::string> kPages = {"right-now", "today", "tomorrow", "tenday"};

// A started program on the full forecast, the location topic chosen, its speech forgotten.
// The clock reads Wednesday, the day the full forecast fixtures were taken on.
struct Running : fakes::TestRig {
  Running() {
    clock.set(4);
    for (const std::string& page : kPages)
      fetcher.pages["/weather/" + page + "/"] = {fixtures::page(page + "-full").body, "utf-8"};
    fakes::writeBytes(settingsPath(), settingsFile(" 0 ", " 3 ", "Home Town"));
    form->start();
    press(vk::Enter);
    log.entries.clear();
    fetcher.addresses.clear();
  }
};

TEST(Reentry, KeysDuringALocationChange) {
  const auto full = fixtures::rows("pages/cycle-full.rows");
  const auto scanned = fixtures::page("right-now-full").rows;
  // Down reads the list as it stands: the old forecast, emptied, scanned pages, the new one.
  const std::string before = "Right now we have " + toUtf8(full[2]) + ".";
  const std::string during = "Right now we have " + toUtf8(scanned[2]) + ".";
  const struct {
    std::string name;
    int page;  // -1: queued while the prompt is open; 4: in the hold after the last page
    std::string down;
  } moments[] = {
      {"while the prompt is open", -1, before},
      {"after right-now", 0, "The forecast could not be loaded."},  // its rows not there yet
      {"after today", 1, during},
      {"after tomorrow", 2, during},
      {"after tenday", 3, during},
      {"in the hold", 4, before},
  };
  const struct {
    std::string name;
    std::int16_t key, shift;
  } keys[] = {{"Down", vk::Down, 0},
              {"Enter on the location topic", vk::Enter, 0},
              {"Shift+Esc", vk::Esc, mask::Shift}};
  for (const auto& moment : moments) {
    for (const auto& key : keys) {
      SCOPED_TRACE(key.name + " " + moment.name);
      Running rig;
      const auto pressKey = [&rig, &key] { rig.press(key.key, key.shift); };
      if (moment.page < 0) rig.window.post(pressKey);
      rig.fetcher.onFetch = [&](const std::string& address) {
        if (moment.page < 0 ||
            address.find("/" + kPages[std::min(moment.page, 3)] + "/") == std::string::npos)
          return;
        // The pump after the page handles the key, or in the hold, passes it on to the wait.
        if (moment.page < 4)
          rig.window.post(pressKey);
        else
          rig.window.post([&] { rig.window.post(pressKey); });
      };
      rig.window.answers = {L"New Town", L"Other Town"};
      // Until the cycle begins, Location holds the answer as typed.
      const std::string location = moment.page < 0 ? "New Town" : "New+Town";
      if (key.shift != 0) {
        EXPECT_THROW(rig.press(vk::Enter), fakes::ProgramEnded);
        EXPECT_EQ(rig.fetcher.addresses.size(), std::clamp(moment.page + 1, 0, 4))
            << "pages fetched after the program ended";
        EXPECT_EQ(rig.spoken().back(), "Good bye");
        EXPECT_EQ(fakes::readBytes(rig.settingsPath()), settingsFile(" 0 ", " 3 ", location));
        continue;
      }
      rig.press(vk::Enter);
      Said asked;
      for (const std::string& page : kPages)
        asked.push_back("http://forecast.test/weather/" + page + "/New+Town");
      EXPECT_EQ(rig.fetcher.addresses, asked) << "a second cycle ran, or a page was lost";
      EXPECT_EQ(rig.window.list.rows, full);
      EXPECT_EQ(rig.window.prompts, 1);
      EXPECT_FALSE(rig.form->FetchRunning);
      EXPECT_FALSE(rig.window.holderEnabled()) << "a hold was left running";
      Said heard = {"Enter your zip code or type the city and state you wish to know about.",
                    "Location changed to New Town"};
      if (key.key == vk::Down) heard.push_back(moment.down);
      if (key.key == vk::Enter)
        heard.push_back("Location is set to " + location + ".  Press Enter to change it.");
      EXPECT_EQ(rig.spoken(), heard);
    }
  }
}

}  // namespace
}  // namespace skycall::robustness
