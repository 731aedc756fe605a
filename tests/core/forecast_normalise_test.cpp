#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/VectorList.h"
#include "forecast/Normalise.h"
#include "forecast/TextCodec.h"

namespace skycall {
namespace {

TEST(NormaliseRow, GivesTheSpokenText) {
  struct Case {
    const wchar_t* row;
    int index;
    const wchar_t* spoken;
  };
  const Case cases[] = {
      // leading clean-up
      {L"\n   Partly Cloudy", 2, L"Partly Cloudy"},
      {L"\">  Sunny", 5, L"Sunny"},
      {L"=\r<\t>Rain", 5, L"Rain"},
      {L"7 of 10", 9, L"7 of 10"},
      {L"Fog\r\n and\tmist", 5, L"Fog\r andmist"},  // inner CR stays
      {L"<>\" \r=", 5, L""},
      {L"", 0, L""},
      {L"-----", 3, L"-----"},
      // day names: whole rows only
      {L"Tue", 18, L"Tuesday"},
      {L"Sat", 42, L"Saturday"},
      {L"\n Sun", 30, L"Sunday"},
      {L"tue", 18, L"tue"},
      {L"Tue.", 18, L"Tue."},
      {L"Tuesday", 18, L"Tuesday"},
      {L"Sunny", 27, L"Sunny"},
      {L"Mon Tue", 18, L"Mon Tue"},
      // replacements, in their order
      {L"Winds are W 10 mph", 7, L"Winds are West 10  miles per hour"},
      {L"Winds are W 10mph", 7, L"Winds are West 10 miles per hour"},
      {L"Winds from the N", 7, L"Winds from the N"},
      {L"Winds N N 5", 7, L"Winds North N 5"},      // the first " N " uses up the blank between
      {L"Winds N S 5", 7, L"Winds North South 5"},  // " S " finds the blank " North " brought
      {L"Winds NNE 5", 7, L"Winds North North-East 5"},
      {L"NNE 5", 7, L"NNE 5"},
      {L"Winds NNE", 7, L"Winds NNE"},
      {L"Winds are ESE 4 mph", 7, L"Winds are East South-East 4  miles per hour"},
      {L"Scattered T-Storms", 5, L"Scattered Thunder Storms"},
      {L"mphmph", 7, L" miles per hour miles per hour"},
      // rows 19 to 22 only (every row index is checked by NormaliseList)
      {L"Windy with winds", 19, L"Whindy with whinds"},
      {L"Low of 60F", 21, L"Low of 60 degrees"},
      {L"T-Storm winds NW 10 mph", 22, L"Thunder Storm whinds North-West 10  miles per hour"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(normaliseRow(c.row, c.index), c.spoken)
        << "row " << c.index << " \"" << toUtf8(c.row) << "\"";
}

// Records the list operations, so the rewrite is seen to happen in place.
class RecordingList : public fakes::VectorList {
 public:
  std::vector<std::string> operations;
  void insert(int index, const std::wstring& row) override {
    operations.push_back("insert " + std::to_string(index));
    VectorList::insert(index, row);
  }
  void remove(int index) override {
    operations.push_back("remove " + std::to_string(index));
    VectorList::remove(index);
  }
};

TEST(NormaliseList, RewritesEveryRowInPlaceKeepingCountAndOrder) {
  RecordingList list;
  for (int i = 0; i < 24; ++i) list.append(L"\tWindy " + std::to_wstring(i) + L"F");
  normaliseList(list);

  ASSERT_EQ(list.count(), 24);
  std::vector<std::string> expectedOperations;
  for (int i = 0; i < 24; ++i) {
    const std::wstring n = std::to_wstring(i);
    const bool window = i >= 19 && i <= 22;
    EXPECT_EQ(list.rows[i], window ? L"Whindy " + n + L" degrees" : L"Windy " + n + L"F");
    expectedOperations.push_back("remove " + std::to_string(i));
    expectedOperations.push_back("insert " + std::to_string(i));
  }
  EXPECT_EQ(list.operations, expectedOperations);
}

}  // namespace
}  // namespace skycall
