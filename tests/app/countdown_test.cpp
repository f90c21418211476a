// The countdown tooltip through the year's end.
#include "ornament_fixture.h"

namespace orn::apptest {
namespace {

using CountdownTest = OrnamentTest;

std::string Count(const std::string& N, const std::string& Unit) {
  return N + Unit + "\rtill Christmas";
}

TEST_F(CountdownTest, TheTextCountsWholeDaysToTheStartOfBoxingDay) {
  struct Case {
    TDateTimeParts At;
    std::string Hint;
    bool Shown;
  };
  const Case Cases[] = {
      {{2026, 12, 23, 12, 0, 0, 0}, Count("2", " days"), true},
      {{2026, 12, 24, 0, 0, 0, 0}, Count("2", " days"), true},
      {{2026, 12, 24, 12, 0, 0, 0}, Count("1", " day"), true},
      {{2026, 12, 25, 0, 0, 0, 0}, Count("1", " day"), true},
      {{2026, 12, 25, 0, 0, 1, 0}, "Merry Christmas!!!", true},
      {{2026, 12, 26, 23, 59, 59, 0}, "Merry Christmas!!!", true},
      {{2026, 12, 27, 0, 0, 0, 0}, Count("-1", " days"), false},
      {{2026, 12, 31, 23, 0, 0, 0}, Count("-5", " days"), false},
      {{2027, 1, 1, 12, 0, 0, 0}, Count("358", " days"), true},
      {{2028, 1, 1, 12, 0, 0, 0}, Count("359", " days"), true},
  };
  for (const Case& C : Cases) {
    Services().SetLocalTime(C.At);
    CreateAndShow();
    EXPECT_EQ(Form->Gif->Hint(), C.Hint) << C.At.Month << "-" << C.At.Day;
    EXPECT_EQ(Form->Gif->ShowHint(), C.Shown) << C.At.Month << "-" << C.At.Day;
    Form.reset();
  }
}

TEST_F(CountdownTest, TheTimerRefreshesEvery65555msAndTheTooltipStaysOffAfterNewYear) {
  Services().SetLocalTime({2026, 12, 26, 23, 59, 0, 0});
  CreateAndShow();
  EXPECT_EQ(Form->Timer->Interval(), 65555u);
  EXPECT_EQ(Form->Gif->Hint(), "Merry Christmas!!!");
  Backend().Advance(65554);
  EXPECT_EQ(Form->Gif->Hint(), "Merry Christmas!!!");
  EXPECT_TRUE(Form->Gif->ShowHint());
  Backend().Advance(1);  // the first tick, now past midnight
  EXPECT_EQ(Form->Gif->Hint(), Count("-1", " days"));
  EXPECT_FALSE(Form->Gif->ShowHint());
  // Into the new year: the count is positive again, the tooltip stays off.
  Services().SetLocalTime({2027, 1, 1, 12, 0, 0, 0});
  Backend().Advance(65555);
  EXPECT_EQ(Form->Gif->Hint(), Count("358", " days"));
  EXPECT_FALSE(Form->Gif->ShowHint());
  Backend().MouseMove(Window(), 59, 85);
  Backend().Rest(1000);
  EXPECT_FALSE(Backend().TooltipVisible());
}

TEST_F(CountdownTest, RestingOnTheTreeShowsTwoLines) {
  Services().SetLocalTime({2026, 12, 24, 12, 0, 0, 0});
  CreateAndShow();
  Backend().MouseMove(Window(), 59, 85);
  Backend().Rest(600);
  ASSERT_TRUE(Backend().TooltipVisible());
  EXPECT_EQ(Backend().TooltipLines(), (std::vector<std::string>{"1 day", "till Christmas"}));
  Backend().MouseLeave(Window());
}

}  // namespace
}  // namespace orn::apptest
