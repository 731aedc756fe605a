// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands/TopicMenu.h"

#include <algorithm>
#include <array>
#include <exception>
#include <vector>

#include "commands/LocationPrompt.h"
#include "interfaces/KeyCodes.h"

namespace skycall {

namespace {

// A piece of a topic's text: a fixed phrase, a forecast row, or the location.
struct Piece {
  enum Kind { Phrase, Row, DayRow, Place } kind;
  const wchar_t* phrase = L"";
  int row = 0;  // Row: the row index; DayRow: the offset from the day's first row
};

constexpr Piece phrase(const wchar_t* text) {
  return {Piece::Phrase, text, 0};
}
constexpr Piece row(int index) {
  return {Piece::Row, L"", index};
}
constexpr Piece dayRow(int offset) {
  return {Piece::DayRow, L"", offset};
}
constexpr Piece place() {
  return {Piece::Place, L"", 0};
}

// The first row of the day that topics 8 to 12 read: the day after tomorrow, then on.
constexpr int kFirstDayRow = 18;
constexpr int kRowsPerDay = 6;
constexpr int kFirstDayTopic = 8;
// "Right now we have ...", which the forecast's age and the weather alerts follow.
constexpr int kConditionsTopic = 2;

const std::array<std::vector<Piece>, kTopicCount>& topicTable() {
  static const std::vector<Piece> daySummary = {
      dayRow(0), phrase(L", "),     dayRow(1), phrase(L", "),  dayRow(2), phrase(L".  "),
      dayRow(3), phrase(L" with "), dayRow(4), phrase(L".  "), dayRow(5), phrase(L".")};
  static const std::array<std::vector<Piece>, kTopicCount> table = {{
      {phrase(L"Location is set to "), place(), phrase(L".  Press Enter to change it.")},
      {phrase(L"Right now we have "), row(2), phrase(L".")},
      {phrase(L"The temperature is "), row(0), phrase(L" with a "), row(4), phrase(L".  It "),
       row(1)},
      {phrase(L"Currently "), row(7), phrase(L".")},
      {phrase(L"Current "), row(6), phrase(L".")},
      {phrase(L"Summary Right now, "), row(2), phrase(L", "), row(0), phrase(L" "), row(8),
       phrase(L" and the "), row(9), phrase(L".")},
      {phrase(L"Summary Tomorrow, "), row(11), phrase(L".  "), row(12), phrase(L" with "), row(13),
       phrase(L".  "), row(14), phrase(L".  "), row(15), phrase(L" and the "), row(16),
       phrase(L".")},
      daySummary,
      daySummary,
      daySummary,
      daySummary,
      daySummary,
  }};
  return table;
}

// The rows a topic reads, in list order.
std::vector<int> rowsRead(int topic) {
  std::vector<int> read;
  if (topic < 1 || topic > kTopicCount) return read;
  const int day = kFirstDayRow + kRowsPerDay * (topic - kFirstDayTopic);
  for (const Piece& p : topicTable()[topic - 1])
    if (p.kind == Piece::Row || p.kind == Piece::DayRow)
      read.push_back(p.kind == Piece::Row ? p.row : day + p.row);
  std::sort(read.begin(), read.end());
  read.erase(std::unique(read.begin(), read.end()), read.end());
  return read;
}

// A topic is missing its rows when any row it reads lies at or beyond the list's end (a load
// that failed, or failed part way): its template would be spoken with holes.
bool missing(const std::vector<int>& read, const ForecastList& rows) {
  return !read.empty() && read.back() >= rows.count();
}

void changeLocation(CommandHost& form) {
  FormState& s = form.state();
  // A second fetch cycle inside a running one would interleave their rows, and a second
  // change inside a running one (an Enter typed just after the prompt closed) would fetch a
  // location the user never hears about.
  if (s.FetchRunning || s.ChangingLocation) {
    form.window().showTopicRows({});
    form.sayit(topicText(1, s.Location, form.window().List1()));
    return;
  }
  ScopedFlag changing(s.ChangingLocation);
  const std::optional<std::wstring> typed = promptForLocation(form);
  if (!typed) return;  // the box was left: the old location stays, and the next key says it
  s.Location = *typed;
  const std::wstring changed = L"Location changed to " + s.Location;
  form.sayit(changed);
  try {
    form.getinfo();
  } catch (const std::exception& failure) {
    // A quick failure would cut the change's text off: it is said again with the failure.
    form.sayit(joinedTexts(changed, fetchFailureText(failure)));
  }
  form.hold(0.5);
}

}  // namespace

std::wstring topicText(int topic, const std::wstring& location, const ForecastList& rows) {
  if (topic < 1 || topic > kTopicCount) return L"";
  if (missing(rowsRead(topic), rows)) return kForecastNotLoaded;
  const int day = kFirstDayRow + kRowsPerDay * (topic - kFirstDayTopic);
  const auto& pieces = topicTable()[topic - 1];
  std::wstring text;
  for (const Piece& p : pieces) {
    switch (p.kind) {
      case Piece::Phrase:
        text += p.phrase;
        break;
      case Piece::Row:
        text += rows.row(p.row);
        break;
      case Piece::DayRow:
        text += rows.row(day + p.row);
        break;
      case Piece::Place:
        text += location;
        break;
    }
  }
  return text;
}

std::vector<int> topicRows(int topic, const ForecastList& rows) {
  std::vector<int> read = rowsRead(topic);
  if (missing(read, rows)) read.clear();
  return read;
}

std::wstring joinedTexts(const std::wstring& first, const std::wstring& second) {
  if (first.empty()) return second;
  if (second.empty()) return first;
  return first + L"  " + second;
}

void menukey(CommandHost& form, std::int16_t& KeyCode, const std::wstring& saidFirst) {
  FormState& s = form.state();
  if (s.MenuMode != 1) {
    if (!saidFirst.empty()) form.sayit(saidFirst);
    return;
  }
  if (KeyCode == vk::Down || KeyCode == vk::Right) ++s.MenuPosition;
  if (KeyCode == vk::Up || KeyCode == vk::Left) --s.MenuPosition;
  // The first Enter only announces the location topic; it does not open the prompt.
  if (s.MenuPosition == 0 && KeyCode == vk::Enter) {
    KeyCode = vk::Tab;
    s.MenuPosition = 1;
  }
  if (s.MenuPosition <= 0) s.MenuPosition = 1;
  if (s.MenuPosition > kTopicCount) s.MenuPosition = kTopicCount;
  if (s.MenuPosition == 1 && KeyCode == vk::Enter) {
    changeLocation(form);
    return;
  }
  const ForecastList& rows = form.window().List1();
  std::wstring topic = topicText(s.MenuPosition, s.Location, rows);
  if (s.MenuPosition == kConditionsTopic)
    topic = joinedTexts(topic, form.conditionsNotes(topic != kForecastNotLoaded));
  form.window().showTopicRows(topicRows(s.MenuPosition, rows));
  form.sayit(joinedTexts(saidFirst, topic));
}

}  // namespace skycall
