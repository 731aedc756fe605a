#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fakes/VectorList.h"
#include "forecast/Normalise.h"
#include "forecast/TextCodec.h"

namespace skycall {
namespace {

struct RowCase {
  const wchar_t* row;
  int index;
  const wchar_t* spoken;
};

void PrintTo(const RowCase& c, std::ostream* os) {
  *os << "row " << c.index << " \"" << toUtf8(c.row) << "\"";
}

class NormaliseRow : public ::testing::TestWithParam<RowCase> {};

TEST_P(NormaliseRow, GivesTheSpokenText) {
  const RowCase& c = GetParam();
  EXPECT_EQ(normaliseRow(c.row, c.index), c.spoken);
}

INSTANTIATE_TEST_SUITE_P(
    LeadingCleanUp, NormaliseRow,
    ::testing::Values(RowCase{L"\n   Partly Cloudy", 2, L"Partly Cloudy"},
                      RowCase{L"\">  Sunny", 5, L"Sunny"}, RowCase{L"=\r<\t>Rain", 5, L"Rain"},
                      RowCase{L"7 of 10", 9, L"7 of 10"},
                      RowCase{L"Fog\r\n and\tmist", 5, L"Fog\r andmist"},  // inner CR stays
                      RowCase{L"<>\" \r=", 5, L""}, RowCase{L"", 0, L""},
                      RowCase{L"-----", 3, L"-----"}));

INSTANTIATE_TEST_SUITE_P(
    DayNames, NormaliseRow,
    ::testing::Values(RowCase{L"Tue", 18, L"Tuesday"}, RowCase{L"Sat", 42, L"Saturday"},
                      RowCase{L"\n Sun", 30, L"Sunday"}, RowCase{L"tue", 18, L"tue"},
                      RowCase{L"Tue.", 18, L"Tue."}, RowCase{L"Tuesday", 18, L"Tuesday"},
                      RowCase{L"Sunny", 27, L"Sunny"}, RowCase{L"Mon Tue", 18, L"Mon Tue"}));

INSTANTIATE_TEST_SUITE_P(
    Replacements, NormaliseRow,
    ::testing::Values(RowCase{L"Winds are W 10 mph", 7, L"Winds are West 10  miles per hour"},
                      RowCase{L"Winds are W 10mph", 7, L"Winds are West 10 miles per hour"},
                      RowCase{L"Winds from the N", 7, L"Winds from the N"},
                      // the blank between the letters is used up by the first " N "
                      RowCase{L"Winds N N 5", 7, L"Winds North N 5"},
                      // " S " comes later and finds the blank that " North " brought
                      RowCase{L"Winds N S 5", 7, L"Winds North South 5"},
                      RowCase{L"Winds NNE 5", 7, L"Winds North North-East 5"},
                      RowCase{L"NNE 5", 7, L"NNE 5"}, RowCase{L"Winds NNE", 7, L"Winds NNE"},
                      RowCase{L"Winds are ESE 4 mph", 7,
                              L"Winds are East South-East 4  miles per hour"},
                      RowCase{L"Scattered T-Storms", 5, L"Scattered Thunder Storms"},
                      RowCase{L"mphmph", 7, L" miles per hour miles per hour"}));

INSTANTIATE_TEST_SUITE_P(
    RowWindow, NormaliseRow,
    ::testing::Values(RowCase{L"Windy with winds", 19, L"Whindy with whinds"},
                      RowCase{L"Low of 75F", 20, L"Low of 75 degrees"},
                      RowCase{L"Low of 60F", 21, L"Low of 60 degrees"},
                      RowCase{L"Windy, 99F", 22, L"Whindy, 99 degrees"},
                      RowCase{L"Windy with winds", 18, L"Windy with winds"},
                      RowCase{L"Low of 75F", 23, L"Low of 75F"},
                      RowCase{L"Windy 75F", 3, L"Windy 75F"},
                      // the spoken forms and the row window together
                      RowCase{L"T-Storm winds NW 10 mph", 22,
                              L"Thunder Storm whinds North-West 10  miles per hour"}));

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
