// Keys that arrive while other work is under way (between the pages of a fetch, in a hold,
// just after the location prompt) through the real fetcher: no crash, no rows of two cycles
// mixed, no cycle inside a cycle.
#include <gtest/gtest.h>

#include "commands/KeyCodes.h"
#include "core/forecast_fixtures.h"
#include "forecast/TextCodec.h"
#include "robustness/FaultSite.h"
#include "robustness/RealFetchRig.h"

namespace skycall::robustness {
namespace {

using Said = std::vector<std::string>;

const std::vector<std::string> kPages = {"right-now", "today", "tomorrow", "tenday"};
const std::string kNewTopic = "Location is set to New+Town.  Press Enter to change it.";

// A started program on the site's full forecast, the location topic chosen, its speech forgotten.
struct Running : RealFetchRig {
  explicit Running(const FaultSite& site) : RealFetchRig(site.host()) {
    fakes::writeBytes(settingsPath(), settingsBytes(" 0 ", " 3 ", "Home Town"));
    form->start();
    press(vk::Enter);
    log.entries.clear();
  }
  // The key, handled at the next event pump or wait.
  void queue(std::int16_t key, std::int16_t shift = 0) {
    window.post([this, key, shift] { press(key, shift); });
  }
  // The key, queued as the page is asked for: handled at the pump right after that page.
  void queueAfterPage(const std::string& page, const std::string& location, std::int16_t key,
                      std::int16_t shift = 0) {
    fetcher.beforeFetch = [=, this](const std::string& address) {
      if (address.find("/weather/" + page + "/" + location) != std::string::npos) queue(key, shift);
    };
  }
};

// The site's requests, in order, as page names, for the location given.
std::vector<std::string> pagesAsked(const FaultSite& site, const std::string& location) {
  std::vector<std::string> pages;
  for (const std::string& target : site.targets())
    for (const std::string& page : kPages)
      if (target == "/weather/" + page + "/" + location) pages.push_back(page);
  return pages;
}

std::string utf8(const std::wstring& text) {
  return toUtf8(text);
}

TEST(Reentry, KeysBetweenThePagesOfALocationChange) {
  // The pump after a page runs before that page is scanned: after the first page the list is
  // still empty, after the others it holds the conditions phrase as scanned.
  const std::string rawPhrase = utf8(testing::expectedRows("right-now-full.rows")[2]);
  struct KeyCase {
    std::string name;
    std::int16_t key;
    std::function<Said(std::size_t page)> heard;  // what the key says at the pump after page
    std::string caption;                          // "" when the caption is left alone
  };
  const std::vector<KeyCase> keys = {
      {"Down", vk::Down,
       [&](std::size_t page) {
         return Said{"Right now we have " + (page == 0 ? "" : rawPhrase) + "."};
       },
       ""},
      {"Enter on the location topic", vk::Enter, [](std::size_t) { return Said{kNewTopic}; }, ""},
      {"Page Up", vk::PageUp,
       [](std::size_t) {
         return Said{"Sapi faster.", kNewTopic};
       },
       ""},
      {"a letter", 'A', [](std::size_t) { return Said{kNewTopic}; }, ""},
      {"Ctrl", vk::Ctrl, [](std::size_t) { return Said{""}; }, ""},
      {"Esc", vk::Esc, [](std::size_t) { return Said{"Minimizing"}; }, ""},
      {"Tab", vk::Tab, [](std::size_t) { return Said{}; }, "Screen reader"},
  };
  const auto fullRows = testing::expectedRows("cycle-full.rows");
  FaultSite site;
  for (const KeyCase& k : keys) {
    for (std::size_t page = 0; page < kPages.size(); ++page) {
      SCOPED_TRACE(k.name + " after " + kPages[page]);
      Running rig(site);
      site.forgetTargets();
      rig.queueAfterPage(kPages[page], "New+Town", k.key);
      rig.changeLocation(L"New Town");

      EXPECT_EQ(pagesAsked(site, "New+Town"), kPages) << "a second cycle ran, or a page was lost";
      EXPECT_EQ(site.targets().size(), 4u);
      EXPECT_EQ(rig.rows(), fullRows);
      EXPECT_EQ(rig.window.prompts, 1);
      EXPECT_FALSE(rig.form->FetchRunning);
      Said heard = {"Location changed to New Town"};
      for (const auto& said : k.heard(page)) heard.push_back(said);
      EXPECT_EQ(rig.spoken(), heard);
      if (!k.caption.empty()) {
        EXPECT_EQ(rig.log.with("caption=").back(), k.caption);
      }
    }
  }
}

TEST(Reentry, QuitBetweenThePagesSavesTheNewLocationAndEnds) {
  FaultSite site;
  for (std::size_t page = 0; page < kPages.size(); ++page) {
    SCOPED_TRACE(kPages[page]);
    Running rig(site);
    site.forgetTargets();
    rig.queueAfterPage(kPages[page], "New+Town", vk::Esc, mask::Shift);
    EXPECT_THROW(rig.changeLocation(L"New Town"), fakes::ProgramEnded);
    EXPECT_EQ(site.targets().size(), page + 1) << "pages fetched after the program ended";
    EXPECT_EQ(rig.spoken().back(), "Good bye");
    EXPECT_EQ(fakes::readBytes(rig.settingsPath()), settingsBytes(" 0 ", " 3 ", "New+Town"));
  }
}

TEST(Reentry, KeysDuringTheHoldAfterALocationChange) {
  const auto fullRows = testing::expectedRows("cycle-full.rows");
  FaultSite site;
  // Queued at the last page's pump, the key is handled inside the half-second hold.
  auto inTheHold = [](Running& rig, std::int16_t key, std::int16_t shift = 0) {
    rig.fetcher.beforeFetch = [&rig, key, shift](const std::string& address) {
      if (address.find("/weather/tenday/New+Town") != std::string::npos)
        rig.window.post([&rig, key, shift] { rig.queue(key, shift); });
    };
  };
  {
    SCOPED_TRACE("Down");
    Running rig(site);
    inTheHold(rig, vk::Down);
    rig.changeLocation(L"New Town");
    EXPECT_EQ(rig.spoken(), (Said{"Location changed to New Town",
                                  "Right now we have " + utf8(fullRows[2]) + "."}));
  }
  {
    // The change is still running: the key speaks the location topic, nothing more.
    SCOPED_TRACE("Enter on the location topic");
    Running rig(site);
    site.forgetTargets();
    inTheHold(rig, vk::Enter);
    rig.window.answers = {L"New Town", L"Next Town"};
    rig.press(vk::Enter);
    EXPECT_EQ(pagesAsked(site, "New+Town"), kPages);
    EXPECT_EQ(site.targets().size(), 4u);
    EXPECT_EQ(rig.window.prompts, 1);
    EXPECT_EQ(rig.rows(), fullRows);
    EXPECT_EQ(rig.form->Location, L"New+Town");
    EXPECT_EQ(rig.spoken(), (Said{"Location changed to New Town",
                                  "Location is set to New+Town.  Press Enter to change it."}));
    EXPECT_FALSE(rig.window.holderEnabled()) << "a hold was left running";
  }
  {
    SCOPED_TRACE("Shift+Esc");
    Running rig(site);
    inTheHold(rig, vk::Esc, mask::Shift);
    EXPECT_THROW(rig.changeLocation(L"New Town"), fakes::ProgramEnded);
    EXPECT_EQ(rig.rows(), fullRows);
    EXPECT_EQ(fakes::readBytes(rig.settingsPath()), settingsBytes(" 0 ", " 3 ", "New+Town"));
  }
}

// Keys that reach the window while the prompt is open are handled once it has closed, at the
// first event pump: the one that lets "Location changed to" be spoken, before any page.
TEST(Reentry, KeysQueuedWhileThePromptIsOpen) {
  const auto fullRows = testing::expectedRows("cycle-full.rows");
  FaultSite site;
  {
    SCOPED_TRACE("Down");
    Running rig(site);
    site.forgetTargets();
    rig.queue(vk::Down);
    rig.changeLocation(L"New Town");
    // The old forecast still stands at that moment.
    EXPECT_EQ(rig.spoken(), (Said{"Location changed to New Town",
                                  "Right now we have " + utf8(fullRows[2]) + "."}));
    EXPECT_EQ(site.targets().size(), 4u);
    EXPECT_EQ(rig.rows(), fullRows);
  }
  {
    // A quick second Enter lands inside the change that the first one started: it speaks
    // the location topic, and the location typed is the one fetched.
    SCOPED_TRACE("Enter on the location topic");
    Running rig(site);
    site.forgetTargets();
    rig.queue(vk::Enter);
    rig.window.answers = {L"New Town", L"Other Town"};
    rig.press(vk::Enter);
    EXPECT_EQ(rig.window.prompts, 1);
    EXPECT_EQ(pagesAsked(site, "New+Town"), kPages);
    EXPECT_EQ(site.targets().size(), 4u);
    EXPECT_EQ(rig.rows(), fullRows);
    EXPECT_EQ(rig.form->Location, L"New+Town");
  }
}

}  // namespace
}  // namespace skycall::robustness
