// Every way a page fetch can go wrong, met by the whole program with the real libcurl fetcher:
// at start-up and during a location change the program keeps running, says what it must, keeps
// the rows fetched before the fault, and never blocks past the time-out.
#include <gtest/gtest.h>

#include <fstream>
#include <iomanip>
#include <optional>
#include <sstream>

#include "core/forecast_fixtures.h"
#include "forecast/TextCodec.h"
#include "robustness/FaultSite.h"
#include "robustness/NoOutsideLookups.h"
#include "robustness/RealFetchRig.h"

namespace skycall::robustness {
namespace {

using Rows = std::vector<std::wstring>;

const std::string kWelcome = "Welcome to Skycall. Version 0.3b, by Korvel.";
const std::string kCouldNotLoad = "The forecast could not be loaded.";
const std::string kHomeSettings = settingsBytes(" 0 ", " 3 ", "Home Town");

// A page longer than this blocked the program: the total time-out plus the time it takes
// libcurl to notice, with room for a loaded machine.
constexpr double kLongestFetchSeconds = 3.0 + 1.5;
// The window must be served at least this often while a page transfers.
constexpr double kLongestUnservedSeconds = 1.0;

enum class Where { Site, RefusedHost, UnresolvedHost };

struct FaultCase {
  std::string name;
  Where where;
  Fault fault;
  std::string page;    // the page that goes wrong; the pages before it come in whole
  bool transferFails;  // false: the page arrives, but is no forecast
  std::string typed;   // the location as the user gives it
  std::string stored;  // Location after the cycle
};

const std::vector<FaultCase>& faultCases() {
  static const std::vector<FaultCase> cases = {
      {"full forecast (control)", Where::Site, Fault::None, "", false, "Fine Day", "Fine+Day"},
      {"connection refused", Where::RefusedHost, Fault::None, "right-now", true, "Refused Town",
       "Refused+Town"},
      {"host does not resolve", Where::UnresolvedHost, Fault::None, "right-now", true,
       "Nowhere Town", "Nowhere+Town"},
      {"accepts, never answers", Where::Site, Fault::NeverAnswers, "tomorrow", true, "Silent Town",
       "Silent+Town"},
      {"slow drip, 4 bytes/s", Where::Site, Fault::SlowDrip, "tomorrow", true, "Drip Town",
       "Drip+Town"},
      {"404 with a forecast body", Where::Site, Fault::NotFound, "tomorrow", true, "Lost Town",
       "Lost+Town"},
      {"500 with a forecast body", Where::Site, Fault::ServerError, "tomorrow", true, "Broken Town",
       "Broken+Town"},
      {"body cut off mid-transfer", Where::Site, Fault::CutOff, "tomorrow", true, "Cut Town",
       "Cut+Town"},
      {"50 MB body, length declared", Where::Site, Fault::FiftyMegabytes, "tomorrow", true,
       "Big Town", "Big+Town"},
      {"50 MB body, chunked", Where::Site, Fault::FiftyMegabytesRaw, "tomorrow", true,
       "Bigger Town", "Bigger+Town"},
      {"redirect loop", Where::Site, Fault::RedirectLoop, "tomorrow", true, "Loop Town",
       "Loop+Town"},
      {"invalid UTF-8", Where::Site, Fault::InvalidUtf8, "tenday", false, "Odd Town", "Odd+Town"},
      {"binary garbage", Where::Site, Fault::BinaryGarbage, "tenday", false, "Junk Town",
       "Junk+Town"},
  };
  return cases;
}

// The rows a cycle leaves when the transfer of `page` fails: the pages before it, each as
// scanned and followed by its separator, not yet cleaned for speech.
Rows rowsBeforeFailedPage(const std::string& page) {
  Rows rows;
  for (const std::string before : {"right-now", "today", "tomorrow"}) {
    if (before == page) break;
    for (const auto& row : testing::expectedRows(before + "-full.rows")) rows.push_back(row);
    rows.push_back(L"-----");
  }
  return rows;
}

std::size_t pageNumber(const std::string& page) {
  const std::vector<std::string> order = {"right-now", "today", "tomorrow", "tenday"};
  return std::find(order.begin(), order.end(), page) - order.begin() + 1;
}

Rows expectedRows(const FaultCase& c) {
  const Rows full = testing::expectedRows("cycle-full.rows");
  if (c.fault == Fault::None && c.where == Where::Site) return full;
  if (c.transferFails) return rowsBeforeFailedPage(c.page);
  // An odd ten-day page adds no rows; everything before it is the full forecast's.
  return Rows(full.begin(), full.begin() + 18);
}

struct MatrixRow {
  std::string name;
  std::string when;
  std::string heard;
  std::size_t rows;
  double seconds;
};

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const auto& t : texts) out += (out.empty() ? "" : " | ") + t;
  return out;
}

std::string hostFor(Where where, const FaultSite& site) {
  switch (where) {
    case Where::RefusedHost:
      return "127.0.0.1:" + std::to_string(closedLoopbackPort());
    case Where::UnresolvedHost:
      return "forecast.invalid:" + site.host().substr(site.host().find(':') + 1);
    case Where::Site:
      break;
  }
  return site.host();
}

// What holds after any fault: fetches bounded, rows and Location as the cycle left them,
// settings untouched, and the program still answering keys.
void expectCycleOutcome(RealFetchRig& rig, const FaultCase& c, const std::string& settings) {
  for (const FetchCall& call : rig.fetcher.calls) {
    EXPECT_LT(call.seconds, kLongestFetchSeconds) << call.address;
    EXPECT_LT(call.longestUnserved, kLongestUnservedSeconds) << call.address;
  }
  EXPECT_EQ(rig.rows(), expectedRows(c));
  EXPECT_EQ(rig.form->Location, fromUtf8(c.stored));
  EXPECT_FALSE(rig.form->FetchRunning);
  EXPECT_EQ(fakes::readBytes(rig.settingsPath()), settings);
  rig.press(38);  // Up: the location topic, from wherever the menu stands
  EXPECT_EQ(rig.spoken().back(), "Location is set to " + c.stored + ".  Press Enter to change it.");
}

MatrixRow atStartUp(const FaultCase& c) {
  FaultSite site;
  site.inject(c.stored, c.page, c.fault);
  RealFetchRig rig(hostFor(c.where, site));
  const std::string settings = settingsBytes(" 0 ", " 3 ", c.typed);
  fakes::writeBytes(rig.settingsPath(), settings);

  const auto started = SteadyClock::now();
  EXPECT_TRUE(rig.form->start());
  const double seconds = secondsSince(started);
  const std::vector<std::string> heard = rig.spoken();

  // The failure is heard joined to the welcome, and logged after start-up's own lines.
  const std::string welcome = kWelcome + (c.transferFails ? "  " + kCouldNotLoad : "");
  EXPECT_EQ(heard, (std::vector<std::string>{"Loading the forecast.", welcome}));
  const std::string log = rig.startupLog();
  EXPECT_EQ(log.find("error: ") != std::string::npos, c.transferFails) << log;
  EXPECT_LT(seconds, 4 * kLongestFetchSeconds);
  expectCycleOutcome(rig, c, settings);
  return {c.name, "start-up", heard.back(), rig.rows().size(), seconds};
}

MatrixRow duringLocationChange(const FaultCase& c) {
  std::optional<FaultSite> site(std::in_place);
  site->inject(c.stored, c.page, c.fault);
  // A refused connection: the site goes away after start-up. An unresolvable host: start-up
  // has already failed once.
  const std::string host = c.where == Where::RefusedHost ? site->host() : hostFor(c.where, *site);
  RealFetchRig rig(host);
  fakes::writeBytes(rig.settingsPath(), kHomeSettings);
  EXPECT_TRUE(rig.form->start());
  EXPECT_EQ(rig.rows().size(), c.where == Where::UnresolvedHost ? 0u : 48u);
  if (c.where == Where::RefusedHost) site.reset();
  rig.press(13);
  rig.log.entries.clear();
  rig.fetcher.calls.clear();

  const auto started = SteadyClock::now();
  rig.changeLocation(fromUtf8(c.typed));
  const double seconds = secondsSince(started);
  const std::vector<std::string> heard = rig.spoken();

  std::vector<std::string> expected = {"Location changed to " + c.typed};
  if (c.transferFails) expected.push_back(kCouldNotLoad);
  EXPECT_EQ(heard, expected);
  EXPECT_LT(seconds, 4 * kLongestFetchSeconds);
  // A failed page ends the cycle: no later page is asked for.
  EXPECT_EQ(rig.fetcher.calls.size(), c.transferFails ? pageNumber(c.page) : 4u);
  expectCycleOutcome(rig, c, kHomeSettings);
  return {c.name, "location change",
          joined(std::vector<std::string>(heard.begin() + 1, heard.end())), rig.rows().size(),
          seconds};
}

std::string matrixTable(const std::vector<MatrixRow>& rows) {
  std::ostringstream out;
  out << "| Case | When | What the user heard | Rows kept | Time taken |\n"
      << "|---|---|---|---|---|\n";
  for (const MatrixRow& r : rows)
    out << "| " << r.name << " | " << r.when << " | "
        << (r.heard.empty() ? "(nothing more)" : r.heard) << " | " << r.rows << " | " << std::fixed
        << std::setprecision(3) << r.seconds << " s |\n";
  return out.str();
}

TEST(FetchFaultMatrix, EveryFaultAtStartUpAndDuringALocationChange) {
  std::vector<MatrixRow> table;
  for (const FaultCase& c : faultCases()) {
    SCOPED_TRACE(c.name);
    table.push_back(atStartUp(c));
    table.push_back(duringLocationChange(c));
  }
  // Nothing about the unresolvable host reached the machine's name server.
  EXPECT_GT(reservedNamesAnsweredHere(), 0);

  const std::string text = matrixTable(table);
  std::cout << "\nFetch fault matrix (connect 1 s, total 3 s, under 100 B/s for 2 s, cap 1 MB):\n"
            << text << std::flush;
  std::ofstream(std::string(SKYCALL_REPORT_FOLDER) + "/fetch-fault-matrix.md") << text;
}

}  // namespace
}  // namespace skycall::robustness
