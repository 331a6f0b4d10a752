// Sibling links of long lists. A document of a million one-face objects, or one object with a
// million groups, is an ordinary input for the mesh reader; appending must not revisit the
// siblings already linked. At these sizes a list that is re-threaded on every append needs
// about 5 * 10^11 link writes, far beyond this program's time limit, so these cases also guard
// the cost of building the list without timing anything.

#include <gtest/gtest.h>

#include "host/scene/document.h"

namespace fm::host {
namespace {

constexpr int32_t kMany = 1 << 20;

// Walks the chain from `first` and checks it visits exactly `expected`, in order, ending in null.
template <typename T>
void ExpectChain(const Node* first, const std::vector<std::unique_ptr<T>>& expected) {
  const Node* node = first;
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(node, expected[i].get()) << "link " << i;
    node = node->Next();
  }
  EXPECT_EQ(node, nullptr);
}

TEST(SiblingLinks, AMillionTopLevelObjectsAreChainedInOrder) {
  Document document;
  for (int32_t i = 0; i < kMany; ++i) document.AddGroupObject({});
  ASSERT_EQ(document.Objects().size(), size_t{kMany});
  EXPECT_EQ(document.FirstObject(), document.Objects().front().get());
  ExpectChain(document.FirstObject(), document.Objects());
}

TEST(SiblingLinks, AMillionChildrenAreChainedBelowTheirParent) {
  Document document;
  Object& parent = document.AddGroupObject("parent");
  Object& after = document.AddGroupObject("after");
  for (int32_t i = 0; i < kMany; ++i) document.AddGroupObject({}, &parent);
  EXPECT_EQ(parent.Down(), parent.Children().front().get());
  ExpectChain(parent.Down(), parent.Children());
  EXPECT_EQ(parent.Children().back()->Parent(), &parent);
  // The parent's own siblings are not disturbed by its children.
  EXPECT_EQ(parent.Next(), &after);
}

TEST(SiblingLinks, AMillionTagsAreChainedOnTheirObject) {
  Document document;
  PolygonObject& object = document.AddPolygonObject("mesh");
  for (int32_t i = 0; i < kMany; ++i) object.AddPolygonSelectionTag({});
  EXPECT_EQ(object.FirstTag(), object.Tags().front().get());
  ExpectChain(object.FirstTag(), object.Tags());
  EXPECT_EQ(object.Tags().back()->Host(), &object);
  EXPECT_EQ(object.Down(), nullptr);
}

TEST(FindObject, GivesTheFirstMatchInTreeOrder) {
  Document document;
  Object& group = document.AddGroupObject("group");
  Object& child = document.AddGroupObject("child", &group);
  Object& deep = document.AddGroupObject("twin", &child);
  document.AddGroupObject("twin");
  EXPECT_EQ(document.FindObject("twin"), &deep);  // below an earlier sibling comes first
  EXPECT_EQ(document.FindObject("child"), &child);
  EXPECT_EQ(document.FindObject(""), nullptr);
}

}  // namespace
}  // namespace fm::host
