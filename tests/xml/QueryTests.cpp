// Lookups below a node: NodeByName, Nodes, Search and Search2.
#include <kestrelwing/cXmlNode.h>

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "NodeBuilders.h"

namespace kestrelwing {
namespace {

using testing::AddChild;
using testing::NamedNode;

// A path or name, the property filter for the lookups that take one, and the node the lookup
// must return (nullptr: none); why is printed when the row fails.
struct Lookup {
  std::u16string_view name;
  NodeRef found;
  const char* why = "";
  std::u16string_view property = u"";
  std::u16string_view value = u"";
};

void ExpectNodeByName(const cXmlNode& from, std::span<const Lookup> rows) {
  for (const Lookup& row : rows) {
    SCOPED_TRACE(ToUtf8(row.name));
    EXPECT_EQ(from.NodeByName(row.name), row.found) << row.why;
  }
}

using SearchFunction = NodeRef (cXmlNode::*)(std::u16string_view, std::u16string_view,
                                             std::u16string_view) const;

void ExpectSearch(const cXmlNode& from, SearchFunction search, std::span<const Lookup> rows) {
  for (const Lookup& row : rows) {
    SCOPED_TRACE(ToUtf8(row.name) + " " + ToUtf8(row.property) + "=" + ToUtf8(row.value));
    EXPECT_EQ((from.*search)(row.name, row.property, row.value), row.found) << row.why;
  }
}

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
  const Lookup rows[] = {
      {u"group/entry", entry},
      {u"group\\entry", entry},
      {u"GROUP/ENTRY", entry},
      {u"group", group},
      {u"item", item, "the first match in child order"},
  };
  ExpectNodeByName(*config, rows);
}

TEST_F(Queries, NodeByNameDropsTheNodesOwnNameFollowedByASeparator) {
  const Lookup rows[] = {
      {u"config/group/entry", entry}, {u"CONFIG\\group\\entry", entry},
      {u"config/group", group},       {u"config", nullptr, "the path is only the node's own name"},
      {u"config/", nullptr},          {u"configgroup", nullptr},
  };
  ExpectNodeByName(*config, rows);
}

// The own name counts only as a whole first component: it is never cut off the front of a
// longer child name.
TEST(NodeByNameOwnName, IsNotCutFromTheFrontOfAChildName) {
  const NodeRef node = NamedNode(u"item");
  const NodeRef items = AddChild(*node, u"items");
  const NodeRef namesake = AddChild(*node, u"item");
  const NodeRef below = AddChild(*namesake, u"below");
  const Lookup rows[] = {
      {u"items", items},        {u"item/items", items},      {u"item", namesake},
      {u"item/item", namesake}, {u"item/item/below", below}, {u"s", nullptr},
  };
  ExpectNodeByName(*node, rows);
}

TEST_F(Queries, NodeByNameTreatsEmptyComponentsAsNames) {
  const Lookup rows[] = {
      {u"", nullptr},
      {u"group/", nullptr},
      {u"/group", nullptr},
      {u"group//entry", nullptr},
      {u"\\group\\entry", nullptr},
  };
  ExpectNodeByName(*config, rows);

  const NodeRef unnamed = AddChild(*group, u"");
  const NodeRef deep = AddChild(*unnamed, u"deep");
  const Lookup belowUnnamed[] = {{u"group/", unnamed}, {u"group//deep", deep}};
  ExpectNodeByName(*config, belowUnnamed);
}

// A component that matches no child ends the walk: the walk does not skip it and go on from
// the level above.
TEST_F(Queries, NodeByNameFailsAtTheFirstComponentWithoutAMatch) {
  AddChild(*config, u"entry");
  const Lookup rows[] = {
      {u"group/missing/entry", nullptr},
      {u"missing/group", nullptr},
      {u"group/entry/missing", nullptr},
      {u"group/missing", nullptr},
      {u"item/entry", nullptr, "entry is not below item"},
  };
  ExpectNodeByName(*config, rows);
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
  const Lookup rows[] = {
      {u"item", item},
      {u"ITEM", secondItem, "", u"id", u"2"},
      {u"item", item, "", u"Id", u"1"},
      {u"item", nullptr, "", u"id", u"3"},
      {u"entry", nullptr, "entry is not a direct child"},
      {u"group/entry", nullptr, "Search knows no paths"},
      {u"", nullptr},
  };
  ExpectSearch(*config, &cXmlNode::Search, rows);
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
  const Lookup rows[] = {
      {u"CIUDAD", city, "", u"NOMBRE", u"ávila"},
      {u"город", town},
      {u"ciudad", nullptr, "", u"nombre", u"avila"},
  };
  ExpectSearch(*config, &cXmlNode::Search, rows);
}

TEST_F(Queries, SearchAndNodesFindChildrenWithEmptyNames) {
  const NodeRef unnamed = AddChild(*config, u"");
  EXPECT_EQ(config->Search(u""), unnamed);
  EXPECT_EQ(config->Search2(u""), unnamed);
  EXPECT_EQ(config->Nodes(u"").size(), 4u) << "an empty name asks for every child";
}

TEST_F(Queries, Search2WalksPathsAndSearchesPlainNames) {
  const Lookup rows[] = {
      {u"\\group\\entry", entry},
      {u"group/entry", entry},
      {u"item", secondItem, "", u"id", u"2"},
      {u"item", nullptr, "", u"id", u"3"},
      {u"group\\entry", entry, "no filter in path mode", u"id", u"9"},
      {u"\\item", secondItem, "one leading \\ is dropped", u"id", u"2"},
      {u"config/group", nullptr, "no own-name prefix in Search2"},
      {u"group/missing/entry", nullptr},
      {u"\\\\group", nullptr, "only one leading \\ is dropped"},
  };
  ExpectSearch(*config, &cXmlNode::Search2, rows);
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

// Text runs, comments and the other kinds stand among the children by position but are never
// found by name, also when one bears the name asked for.
TEST(NonElementChildren, AreCountedButNeverFoundByName) {
  const NodeRef parent = NamedNode(u"parent");
  NodeRef text = MakeNode(KindText);
  text->SetName(u"item");
  NodeRef instruction = MakeNode(KindProcessingInstruction);
  instruction->SetName(u"item");
  NodeRef comment = MakeNode(KindComment);
  comment->SetName(u"group");
  NodeRef cdata = MakeNode(KindCData);
  cdata->SetName(u"item");
  const NodeRef children[] = {text, instruction, comment, cdata};
  for (const NodeRef& child : children)
    parent->Add(child);
  const NodeRef item = AddChild(*parent, u"Item");
  item->SetPropertyValue(u"id", u"1");
  const NodeRef group = AddChild(*parent, u"group");
  group->Add(MakeNode(KindComment));
  const NodeRef entry = AddChild(*group, u"entry");

  const Lookup rows[] = {
      {u"item", item},
      {u"group", group},
      {u"group/entry", entry},
      {u"#text", nullptr, "a text run is not an element"},
      {u"#comment", nullptr, "nor is a comment"},
      {u"#cdata-section", nullptr, "nor a CDATA section"},
  };
  ExpectNodeByName(*parent, rows);
  ExpectSearch(*parent, &cXmlNode::Search2, rows);
  EXPECT_EQ(parent->Search(u"item", u"id", u"1"), item);
  EXPECT_EQ(parent->Search(u"item", u"id", u""), nullptr) << "the text run has no id either";
  EXPECT_EQ(parent->Nodes(), (std::vector<NodeRef>{item, group}));
  EXPECT_EQ(parent->Nodes(u"ITEM"), (std::vector<NodeRef>{item}));
  EXPECT_EQ(group->Nodes(), (std::vector<NodeRef>{entry}));
  EXPECT_EQ(parent->NodeCount(), 6);
  EXPECT_EQ(parent->Node(1), text);
  EXPECT_EQ(parent->Node(4), cdata);

  EXPECT_TRUE(parent->Remove(u"item"));
  EXPECT_EQ(parent->NodeCount(), 5);
  EXPECT_EQ(parent->Node(1), text) << "only the element goes";
  EXPECT_EQ(parent->Node(2), instruction);
  EXPECT_TRUE(parent->Remove(1));
  EXPECT_EQ(parent->Node(1), instruction) << "positions count every kind";
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
