#include "host/scene/selection.h"

#include <gtest/gtest.h>

namespace fm::host {
namespace {

TEST(Selection, ReadsBeyondTheStoredRangeAsNotSelected) {
  Selection selection;
  EXPECT_FALSE(selection.IsSelected(0));
  selection.Select(3);
  EXPECT_EQ(selection.StoredRange(), 4);
  for (int32_t index : {-1, 0, 2, 4, 1000, INT32_MAX}) {
    SCOPED_TRACE(index);
    EXPECT_FALSE(selection.IsSelected(index));
  }
  EXPECT_TRUE(selection.IsSelected(3));
}

TEST(Selection, SelectingBeyondGrowsAndDeselectingBeyondChangesNothing) {
  Selection selection;
  EXPECT_TRUE(selection.Select(10));
  EXPECT_TRUE(selection.Select(2));
  EXPECT_EQ(selection.Count(), 2);
  EXPECT_EQ(selection.Indices(), (std::vector<int32_t>{2, 10}));
  EXPECT_TRUE(selection.Deselect(500));
  EXPECT_EQ(selection.StoredRange(), 11);
  EXPECT_TRUE(selection.Deselect(10));
  EXPECT_EQ(selection.Indices(), (std::vector<int32_t>{2}));
}

TEST(Selection, RefusesNegativeIndices) {
  Selection selection;
  EXPECT_FALSE(selection.Select(-1));
  EXPECT_FALSE(selection.Deselect(-5));
  EXPECT_EQ(selection.Count(), 0);
  EXPECT_EQ(selection.StoredRange(), 0);
}

TEST(Selection, TruncateForgetsIndicesAtAndBeyondTheCount) {
  Selection selection;
  for (int32_t index : {0, 4, 5, 9}) selection.Select(index);
  selection.Truncate(5);
  EXPECT_EQ(selection.Indices(), (std::vector<int32_t>{0, 4}));
  EXPECT_EQ(selection.StoredRange(), 5);
  selection.Truncate(8);  // growing is not truncating
  EXPECT_EQ(selection.StoredRange(), 5);
  selection.Truncate(-3);
  EXPECT_EQ(selection.Count(), 0);
}

}  // namespace
}  // namespace fm::host
