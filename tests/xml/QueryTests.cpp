// Lookups below a node: NodeByName, Nodes, Search and Search2.
#include <kestrelwing/cXmlNode.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NodeBuilders.h"

namespace kestrelwing {
namespace {

using testing::AddChild;
using testing::NamedNode;

// config
//   item  (id = 1)
//   Item  (id = 2)
//   group
//     entry
class Queries : public ::testing::Test {
 protected:
  Queries() {
    item->SetPropertyValue(u"id", u"1");
    secondItem->SetPropertyValue(u"ID", u"2");
  }

  NodeRef config = NamedNode(u"config");
  NodeRef item = AddChild(*config, u"item");
  NodeRef secondItem = AddChild(*config, u"Item");
  NodeRef group = AddChild(*config, u"group");
  NodeRef entry = AddChild(*group, u"entry");
};

TEST_F(Queries, NodeByNameFollowsPathsWithEitherSeparator) {
  EXPECT_EQ(config->NodeByName(u"group/entry"), entry);
  EXPECT_EQ(config->NodeByName(u"group\\entry"), entry);
  EXPECT_EQ(config->NodeByName(u"GROUP/ENTRY"), entry);
  EXPECT_EQ(config->NodeByName(u"group"), group);
  EXPECT_EQ(config->NodeByName(u"item"), item) << "the first match in child order";
}

TEST_F(Queries, NodeByNameDropsTheNodesOwnNameFollowedByASeparator) {
  EXPECT_EQ(config->NodeByName(u"config/group/entry"), entry);
  EXPECT_EQ(config->NodeByName(u"CONFIG\\group\\entry"), entry);
  EXPECT_EQ(config->NodeByName(u"config/group"), group);
  EXPECT_EQ(config->NodeByName(u"config"), nullptr) << "the path is only the node's own name";
  EXPECT_EQ(config->NodeByName(u"config/"), nullptr);
  EXPECT_EQ(config->NodeByName(u"configgroup"), nullptr);
}

// The own name counts only as a whole first component: it is never cut off the front of a
// longer child name.
TEST(NodeByNameOwnName, IsNotCutFromTheFrontOfAChildName) {
  const NodeRef node = NamedNode(u"item");
  const NodeRef items = AddChild(*node, u"items");
  const NodeRef namesake = AddChild(*node, u"item");
  const NodeRef below = AddChild(*namesake, u"below");
  EXPECT_EQ(node->NodeByName(u"items"), items);
  EXPECT_EQ(node->NodeByName(u"item/items"), items);
  EXPECT_EQ(node->NodeByName(u"item"), namesake);
  EXPECT_EQ(node->NodeByName(u"item/item"), namesake);
  EXPECT_EQ(node->NodeByName(u"item/item/below"), below);
  EXPECT_EQ(node->NodeByName(u"s"), nullptr);
}

TEST_F(Queries, NodeByNameTreatsEmptyComponentsAsNames) {
  EXPECT_EQ(config->NodeByName(u""), nullptr);
  EXPECT_EQ(config->NodeByName(u"group/"), nullptr);
  EXPECT_EQ(config->NodeByName(u"/group"), nullptr);
  EXPECT_EQ(config->NodeByName(u"group//entry"), nullptr);
  EXPECT_EQ(config->NodeByName(u"\\group\\entry"), nullptr);

  const NodeRef unnamed = AddChild(*group, u"");
  const NodeRef deep = AddChild(*unnamed, u"deep");
  EXPECT_EQ(config->NodeByName(u"group/"), unnamed);
  EXPECT_EQ(config->NodeByName(u"group//deep"), deep);
}

// A component that matches no child ends the walk: the walk does not skip it and go on from
// the level above.
TEST_F(Queries, NodeByNameFailsAtTheFirstComponentWithoutAMatch) {
  AddChild(*config, u"entry");
  EXPECT_EQ(config->NodeByName(u"group/missing/entry"), nullptr);
  EXPECT_EQ(config->NodeByName(u"missing/group"), nullptr);
  EXPECT_EQ(config->NodeByName(u"group/entry/missing"), nullptr);
  EXPECT_EQ(config->NodeByName(u"group/missing"), nullptr);
  EXPECT_EQ(config->NodeByName(u"item/entry"), nullptr) << "entry is not below item";
}

TEST_F(Queries, ABackslashMakesSlashesPartOfTheNames) {
  const NodeRef slashed = AddChild(*group, u"a/b");
  const NodeRef inner = AddChild(*slashed, u"c");
  EXPECT_EQ(config->NodeByName(u"group\\a/b"), slashed);
  EXPECT_EQ(config->NodeByName(u"group\\a/b\\c"), inner);
  EXPECT_EQ(config->NodeByName(u"group/a/b"), nullptr);
  EXPECT_EQ(config->Search2(u"group\\a/b\\c"), inner);
}

TEST_F(Queries, SearchLooksAtDirectChildrenWithAnOptionalPropertyFilter) {
  EXPECT_EQ(config->Search(u"item"), item);
  EXPECT_EQ(config->Search(u"ITEM", u"id", u"2"), secondItem);
  EXPECT_EQ(config->Search(u"item", u"Id", u"1"), item);
  EXPECT_EQ(config->Search(u"item", u"id", u"3"), nullptr);
  EXPECT_EQ(config->Search(u"entry"), nullptr) << "entry is not a direct child";
  EXPECT_EQ(config->Search(u"group/entry"), nullptr) << "Search knows no paths";
  EXPECT_EQ(config->Search(u""), nullptr);
  EXPECT_EQ(NamedNode(u"leaf")->Search(u"item"), nullptr);
}

TEST_F(Queries, SearchReadsAMissingPropertyAsEmptyText) {
  EXPECT_EQ(config->Search(u"item", u"color", u""), item);
  EXPECT_EQ(config->Search(u"item", u"color", u"red"), nullptr);
  secondItem->SetPropertyValue(u"color", u"Red");
  EXPECT_EQ(config->Search(u"item", u"color", u"RED"), secondItem);
  EXPECT_EQ(config->Search(u"item", u"color", u"Re"), nullptr);
}

TEST_F(Queries, SearchMatchesNamesAndValuesIgnoringCaseBeyondAscii) {
  const NodeRef city = AddChild(*config, u"Ciudad");
  city->SetPropertyValue(u"nombre", u"ÁVILA");
  const NodeRef town = AddChild(*config, u"ГОРОД");
  EXPECT_EQ(config->Search(u"CIUDAD", u"NOMBRE", u"ávila"), city);
  EXPECT_EQ(config->Search(u"город"), town);
  EXPECT_EQ(config->Search(u"ciudad", u"nombre", u"avila"), nullptr);
}

TEST_F(Queries, SearchAndNodesFindChildrenWithEmptyNames) {
  const NodeRef unnamed = AddChild(*config, u"");
  EXPECT_EQ(config->Search(u""), unnamed);
  EXPECT_EQ(config->Search2(u""), unnamed);
  EXPECT_EQ(config->Nodes(u"").size(), 4u) << "an empty name asks for every child";
}

TEST_F(Queries, Search2WalksPathsAndSearchesPlainNames) {
  EXPECT_EQ(config->Search2(u"\\group\\entry"), entry);
  EXPECT_EQ(config->Search2(u"group/entry"), entry);
  EXPECT_EQ(config->Search2(u"item", u"id", u"2"), secondItem);
  EXPECT_EQ(config->Search2(u"item", u"id", u"3"), nullptr);
  EXPECT_EQ(config->Search2(u"group\\entry", u"id", u"9"), entry) << "no filter in path mode";
  EXPECT_EQ(config->Search2(u"\\item", u"id", u"2"), secondItem) << "one leading \\ is dropped";
  EXPECT_EQ(config->Search2(u"config/group"), nullptr) << "no own-name prefix in Search2";
  EXPECT_EQ(config->Search2(u"group/missing/entry"), nullptr);
  EXPECT_EQ(config->Search2(u"\\\\group"), nullptr) << "only one leading \\ is dropped";
}

TEST_F(Queries, NodesCollectsMatchingChildrenInOrder) {
  const std::vector<NodeRef> items = config->Nodes(u"ITEM");
  EXPECT_EQ(items, (std::vector<NodeRef>{item, secondItem}));
  EXPECT_EQ(config->Nodes(), (std::vector<NodeRef>{item, secondItem, group}));
  EXPECT_TRUE(entry->Nodes().empty());
  EXPECT_TRUE(config->Nodes(u"entry").empty());
}

TEST_F(Queries, ResultsAreTheTreesOwnNodes) {
  config->NodeByName(u"group/entry")->SetValue(u"through NodeByName");
  EXPECT_EQ(group->Node(1)->Value(), u"through NodeByName");
  config->Search(u"item", u"id", u"2")->SetPropertyValue(u"id", u"20");
  EXPECT_EQ(secondItem->PropertyValue(u"id"), u"20");
  std::vector<NodeRef> all = config->Nodes();
  all.front()->SetName(u"renamed");
  all.pop_back();
  EXPECT_EQ(config->Node(1)->Name(), u"renamed");
  EXPECT_EQ(config->NodeCount(), 3) << "changing the collection does not change the tree";
}

TEST(DeepPaths, AreWalkedWithoutRecursion) {
  constexpr int kDepth = 100'000;
  const NodeRef top = NamedNode(u"top");
  NodeRef current = top;
  std::u16string path = u"top";
  for (int i = 0; i < kDepth; ++i) {
    current = AddChild(*current, u"n");
    path += u"/n";
  }
  EXPECT_EQ(top->NodeByName(path), current);
  EXPECT_EQ(top->Search2(path.substr(4)), current);
  EXPECT_EQ(top->NodeByName(path + u"/n"), nullptr);
}

}  // namespace
}  // namespace kestrelwing
