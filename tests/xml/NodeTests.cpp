// cXmlNode: name, value, content kind, properties, children and their release.
#include <kestrelwing/cXmlNode.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "CaseFold.h"
#include "NodeAccess.h"
#include "NodeBuilders.h"
#include "NodePool.h"

namespace kestrelwing {
namespace {

// The name of the property at 1-based index, as a view into the node's own table.
std::u16string_view PropertyNameAt(const cXmlNode& node, std::int32_t index) {
  return detail::NodeAccess::Properties(node)->NameAt(index - 1);
}

using testing::AddChild;
using testing::ChildNames;
using testing::NamedNode;
using Names = std::vector<std::u16string>;

std::u16string Numbered(std::u16string_view prefix, int n) {
  std::u16string text(prefix);
  for (const char c : std::to_string(n))
    text.push_back(static_cast<char16_t>(c));
  return text;
}

// --- a new node ---------------------------------------------------------------------------------

TEST(NewNode, IsNamedAfterItsClassAndHoldsNothing) {
  const cXmlNode node;
  EXPECT_EQ(node.Name(), u"cXmlNode");
  EXPECT_EQ(node.Value(), u"");
  EXPECT_EQ(node.Content(), ContentEmpty);
  EXPECT_EQ(node.PropertyCount(), 0);
  EXPECT_EQ(node.NodeCount(), 0);
  EXPECT_TRUE(node.Properties().empty());
  EXPECT_EQ(node.PropertyName(0), u"");
  EXPECT_EQ(node.PropertyName(1), u"");
  EXPECT_EQ(node.Node(0), nullptr);
  EXPECT_EQ(node.Node(1), nullptr);
  EXPECT_TRUE(node.Nodes().empty());
}

TEST(NameAndValue, AreStoredUnchangedIncludingEmptyText) {
  cXmlNode node;
  node.SetName(u"  spaced name ");
  node.SetValue(u"\ttext\r\n");
  EXPECT_EQ(node.Name(), u"  spaced name ");
  EXPECT_EQ(node.Value(), u"\ttext\r\n");
  node.SetName(u"");
  node.SetValue(u"");
  EXPECT_EQ(node.Name(), u"");
  EXPECT_EQ(node.Content(), ContentEmpty);
}

TEST(Content, ClassifiesTheValueCDataFirstThenEmptyThenText) {
  const struct {
    std::u16string value;
    NodeContent expected;
  } cases[] = {
      {u"", ContentEmpty},
      {u" ", ContentText},
      {u"plain", ContentText},
      {u"<![CDATA[", ContentCData},
      {u"<![CDATA[a < b]]>", ContentCData},
      {u"<![cdata[lower]]>", ContentCData},
      {u"<![CdAtA[mixed]]>", ContentCData},
      {u"<![CDAT", ContentText},
      {u" <![CDATA[x]]>", ContentText},
      {u"<![CDATA x", ContentText},
  };
  cXmlNode node;
  for (const auto& c : cases) {
    node.SetValue(c.value);
    EXPECT_EQ(node.Content(), c.expected) << "value: " << ::testing::PrintToString(c.value);
  }
}

// Of the other kinds the value is never classified by its first character.
TEST(Content, OfOtherKindsFollowsTheKindNotTheValue) {
  const struct {
    NodeKind kind;
    std::u16string value;
    NodeContent expected;
  } cases[] = {
      {KindCData, u"x", ContentCData},
      {KindCData, u"<![CDATA[x]]>", ContentCData},
      {KindCData, u"", ContentEmpty},
      {KindText, u"<![CDATA[x]]>", ContentText},
      {KindText, u"<", ContentText},
      {KindText, u"", ContentEmpty},
      {KindComment, u"<![CDATA[", ContentText},
      {KindProcessingInstruction, u"<![cdata[x]]>", ContentText},
      {KindDocumentType, u"<!ENTITY e \"x\">", ContentText},
      {KindDocumentType, u"", ContentEmpty},
      {KindElement, u"<![CDATA[x]]>", ContentCData},
      {KindElement, u"x", ContentText},
  };
  for (const auto& c : cases) {
    NodeRef node = MakeNode(c.kind);
    node->SetValue(c.value);
    EXPECT_EQ(node->Content(), c.expected)
        << "kind " << c.kind << " value: " << ::testing::PrintToString(c.value);
  }
}

// --- properties ---------------------------------------------------------------------------------

TEST(Properties, KeepTheFirstSpellingAndReplaceOnlyTheValue) {
  cXmlNode node;
  node.SetPropertyValue(u"ID", u"1");
  node.SetPropertyValue(u"id", u"2");
  EXPECT_EQ(node.PropertyCount(), 1);
  EXPECT_EQ(node.PropertyName(1), u"ID");
  EXPECT_EQ(node.PropertyValue(u"Id"), u"2");
}

TEST(Properties, KeepTheOrderInWhichTheyWereFirstSet) {
  cXmlNode node;
  node.SetPropertyValue(u"b", u"1");
  node.SetPropertyValue(u"a", u"2");
  node.SetPropertyValue(u"c", u"3");
  node.SetPropertyValue(u"B", u"a longer value than before");
  node.SetPropertyValue(u"a", u"");
  const std::vector<PropertyPair> expected = {
      {u"b", u"a longer value than before"}, {u"a", u""}, {u"c", u"3"}};
  EXPECT_EQ(node.Properties(), expected);
  const struct {
    std::int32_t index;
    std::u16string_view name;  // empty outside 1 to PropertyCount()
  } names[] = {
      {1, u"b"},
      {2, u"a"},
      {3, u"c"},
      {-1, u""},
      {0, u""},
      {4, u""},
      {std::numeric_limits<std::int32_t>::min(), u""},
      {std::numeric_limits<std::int32_t>::max(), u""},
  };
  for (const auto& row : names)
    EXPECT_EQ(node.PropertyName(row.index), row.name) << row.index;
}

TEST(Properties, AMissingNameReadsAsTheDefaultWithoutAddingIt) {
  cXmlNode node;
  node.SetPropertyValue(u"present", u"yes");
  const struct {
    std::u16string_view name, defaultValue, expected;
  } reads[] = {
      {u"absent", u"x", u"x"},
      {u"presen", u"", u""},
      {u"present-", u"", u""},
      {u"PRESENT", u"x", u"yes"},
  };
  for (const auto& row : reads) {
    EXPECT_EQ(node.PropertyValue(row.name, row.defaultValue), row.expected)
        << ToUtf8(row.name) << " default " << ToUtf8(row.defaultValue);
  }
  EXPECT_EQ(node.PropertyValue(u"absent"), u"") << "without a default, empty text";
  EXPECT_EQ(node.PropertyCount(), 1);
}

TEST(Properties, AnEmptyNameIsAnOrdinaryPropertyAfterTheReservedSlot) {
  cXmlNode node;
  node.SetPropertyValue(u"", u"first");
  EXPECT_EQ(node.PropertyCount(), 1);
  EXPECT_EQ(node.PropertyValue(u""), u"first");
  EXPECT_EQ(node.PropertyName(0), u"");
  EXPECT_EQ(node.PropertyName(1), u"");
  node.SetPropertyValue(u"other", u"second");
  node.SetPropertyValue(u"", u"again");
  EXPECT_EQ(node.PropertyCount(), 2);
  EXPECT_EQ(node.PropertyValue(u""), u"again");
  EXPECT_EQ(node.PropertyName(2), u"other");
}

TEST(Properties, AreHandedOutAsACopy) {
  cXmlNode node;
  node.SetPropertyValue(u"name", u"value");
  std::vector<PropertyPair> pairs = node.Properties();
  pairs[0][0] = u"changed";
  pairs[0][1] = u"changed";
  pairs.push_back({u"extra", u"x"});
  node.SetPropertyValue(u"later", u"y");
  EXPECT_EQ(node.PropertyName(1), u"name");
  EXPECT_EQ(node.PropertyValue(u"name"), u"value");
  EXPECT_EQ(node.PropertyCount(), 2);
  EXPECT_EQ(pairs.size(), 2u);
}

TEST(Properties, MatchNamesIgnoringCaseBeyondAscii) {
  cXmlNode node;
  node.SetPropertyValue(u"ÉTÉ", u"latin-1");
  node.SetPropertyValue(u"ŁÓDŹ", u"latin extended");
  node.SetPropertyValue(u"ΌΝΟΜΑ", u"greek");
  node.SetPropertyValue(u"ИМЯ", u"cyrillic");
  node.SetPropertyValue(u"été", u"latin-1 again");
  EXPECT_EQ(node.PropertyCount(), 4);
  EXPECT_EQ(node.PropertyName(1), u"ÉTÉ");
  const struct {
    std::u16string_view name, value;
  } reads[] = {
      {u"Été", u"latin-1 again"},
      {u"łódź", u"latin extended"},
      {u"όνομα", u"greek"},
      {u"имя", u"cyrillic"},
      // Different letters stay different.
      {u"ETE", u"none"},
      {u"ονομα", u"none"},
  };
  for (const auto& row : reads)
    EXPECT_EQ(node.PropertyValue(row.name, u"none"), row.value) << ToUtf8(row.name);
}

// Crosses the size at which a table starts keeping an index, and keeps replacing values so that
// the table's text buffer has to be repacked many times.
TEST(Properties, LargeTablesKeepOrderSpellingAndValues) {
  constexpr int kCount = 1000;
  cXmlNode node;
  for (int i = 0; i < kCount; ++i)
    node.SetPropertyValue(Numbered(u"Name", i), Numbered(u"v", i));
  for (int i = 0; i < kCount; i += 7)
    node.SetPropertyValue(Numbered(u"NAME", i), Numbered(u"w", i));
  for (int round = 0; round < 50; ++round) {
    node.SetPropertyValue(u"name3", std::u16string(static_cast<std::size_t>(round * 40), u'x'));
  }
  ASSERT_EQ(node.PropertyCount(), kCount);
  for (int i = 0; i < kCount; ++i) {
    ASSERT_EQ(node.PropertyName(i + 1), Numbered(u"Name", i));
    const std::u16string expected = i == 3         ? std::u16string(49 * 40, u'x')
                                    : (i % 7 == 0) ? Numbered(u"w", i)
                                                   : Numbered(u"v", i);
    ASSERT_EQ(node.PropertyValue(Numbered(u"nAmE", i)), expected) << i;
  }
  EXPECT_EQ(node.PropertyValue(u"Name1000", u"none"), u"none");
}

TEST(NodeAccessProperties, ReadAndWriteWithoutCopies) {
  cXmlNode node;
  detail::NodeAccess::SetProperty(node, u"Version", u"1.0");
  detail::NodeAccess::SetProperty(node, u"encoding", u"UTF-8");
  detail::NodeAccess::SetProperty(node, u"VERSION", u"1.1");
  EXPECT_EQ(node.PropertyCount(), 2);
  EXPECT_EQ(detail::NodeAccess::PropertyIndex(node, u"ENCODING"), 2);
  EXPECT_EQ(detail::NodeAccess::PropertyIndex(node, u"standalone"), 0);
  EXPECT_EQ(detail::NodeAccess::PropertyIndex(cXmlNode(), u"x"), 0);
  EXPECT_EQ(PropertyNameAt(node, 1), u"Version");
  EXPECT_EQ(detail::NodeAccess::PropertyValueAt(node, 1), u"1.1");
  EXPECT_EQ(detail::NodeAccess::PropertyValueAt(node, 2), u"UTF-8");
}

// The reader may hand in views of the node's own properties; growing the table must not pull
// the text out from under them.
TEST(NodeAccessProperties, AcceptViewsIntoTheSameTable) {
  cXmlNode node;
  detail::NodeAccess::SetProperty(node, u"first", u"abc");
  for (int i = 0; i < 40; ++i) {
    const std::u16string_view name = PropertyNameAt(node, node.PropertyCount());
    const std::u16string_view value = detail::NodeAccess::PropertyValueAt(node, 1);
    detail::NodeAccess::SetProperty(node, std::u16string(name) + u"+", value);
  }
  ASSERT_EQ(node.PropertyCount(), 41);
  EXPECT_EQ(node.PropertyName(41), u"first" + std::u16string(40, u'+'));
  EXPECT_EQ(node.PropertyValue(node.PropertyName(41)), u"abc");

  // A value replaced by a longer view of the table's own text, and by a shorter one. Views are
  // taken afresh after each change: a change may move the text.
  const std::u16string longName = node.PropertyName(41);
  for (int i = 0; i < 12; ++i) {
    detail::NodeAccess::SetProperty(node, u"first", PropertyNameAt(node, 41));
    ASSERT_EQ(node.PropertyValue(u"first"), longName);
    const std::u16string_view name = PropertyNameAt(node, 41);
    detail::NodeAccess::SetProperty(node, name, name);
    ASSERT_EQ(node.PropertyValue(longName), longName);
    const std::u16string_view value = detail::NodeAccess::PropertyValueAt(node, 41);
    detail::NodeAccess::SetProperty(node, u"first", value.substr(1, 3));
    ASSERT_EQ(node.PropertyValue(u"first"), u"irs");
  }
  EXPECT_EQ(node.PropertyCount(), 41);
}

TEST(NodeAccessProperties, CompactKeepsEverything) {
  cXmlNode node;
  detail::NodeAccess::SetName(node, u"file");
  node.SetValue(u"some text");
  for (int i = 0; i < 20; ++i)
    node.SetPropertyValue(Numbered(u"p", i), Numbered(u"value", i));
  node.SetPropertyValue(u"p3", u"a much longer value that leaves the old one behind");
  AddChild(node, u"child");
  detail::NodeAccess::CompactProperties(node);
  EXPECT_EQ(node.Name(), u"file");
  EXPECT_EQ(node.Value(), u"some text");
  ASSERT_EQ(node.PropertyCount(), 20);
  EXPECT_EQ(node.PropertyValue(u"P3"), u"a much longer value that leaves the old one behind");
  EXPECT_EQ(node.PropertyValue(u"P19"), u"value19");
  EXPECT_EQ(node.PropertyName(20), u"p19");
  // The table still grows and finds names after it was trimmed.
  node.SetPropertyValue(u"late", u"x");
  EXPECT_EQ(node.PropertyValue(u"LATE"), u"x");
  EXPECT_EQ(node.PropertyValue(u"p0"), u"value0");
  EXPECT_EQ(ChildNames(node), Names{u"child"});
}

// Random sets, replacements (shorter and longer), views into the table and trims, checked
// after every step against a plain list of pairs searched the slow way.
TEST(Properties, AgreeWithASimpleModelUnderRandomChanges) {
  std::mt19937 random(20261208);
  const auto pick = [&](int below) {
    return static_cast<int>(random() % static_cast<unsigned>(below));
  };
  std::vector<PropertyPair> model;
  const auto modelSet = [&](const std::u16string& name, const std::u16string& value) {
    for (PropertyPair& pair : model) {
      if (detail::EqualsIgnoreCase(pair[0], name)) {
        pair[1] = value;
        return;
      }
    }
    model.push_back({name, value});
  };

  cXmlNode node;
  for (int step = 0; step < 3000; ++step) {
    const int action = pick(6);
    if (action == 0) {
      detail::NodeAccess::CompactProperties(node);
    } else {
      const std::u16string name = Numbered(pick(2) ? u"Key" : u"kEY", pick(60));
      const auto length = static_cast<std::size_t>(pick(pick(10) == 0 ? 300 : 12));
      std::u16string value(length, static_cast<char16_t>(u'a' + pick(26)));
      if (action == 1 && node.PropertyCount() > 0) {  // a value taken from the table itself
        const std::int32_t from = 1 + pick(node.PropertyCount());
        value = node.PropertyValue(node.PropertyName(from));
        detail::NodeAccess::SetProperty(node, name,
                                        detail::NodeAccess::PropertyValueAt(node, from));
      } else {
        node.SetPropertyValue(name, value);
      }
      modelSet(name, value);
    }
    ASSERT_EQ(node.Properties(), model) << "step " << step;
  }
}

// --- case folding -------------------------------------------------------------------------------

TEST(CaseFold, LowersEachCoveredScriptOneToOne) {
  using detail::FoldCase;
  const struct {
    char16_t upper, lower;
  } pairs[] = {
      {u'A', u'a'}, {u'Z', u'z'}, {u'À', u'à'}, {u'Þ', u'þ'}, {u'Ā', u'ā'}, {u'Ĳ', u'ĳ'},
      {u'Ĺ', u'ĺ'}, {u'Ŋ', u'ŋ'}, {u'Ÿ', u'ÿ'}, {u'Ž', u'ž'}, {u'İ', u'i'}, {u'Ά', u'ά'},
      {u'Ή', u'ή'}, {u'Ό', u'ό'}, {u'Ώ', u'ώ'}, {u'Σ', u'σ'}, {u'Ϋ', u'ϋ'}, {u'Ϙ', u'ϙ'},
      {u'Ѐ', u'ѐ'}, {u'Џ', u'џ'}, {u'А', u'а'}, {u'Я', u'я'}, {u'Ѡ', u'ѡ'}, {u'Ҋ', u'ҋ'},
      {u'Ӏ', u'ӏ'}, {u'Ӂ', u'ӂ'}, {u'Ӑ', u'ӑ'}, {u'Ԁ', u'ԁ'},
  };
  for (const auto& pair : pairs) {
    EXPECT_EQ(FoldCase(pair.upper), pair.lower) << static_cast<int>(pair.upper);
    EXPECT_EQ(FoldCase(pair.lower), pair.lower) << static_cast<int>(pair.lower);
  }
  // Not letters, or lower case already, or outside the covered scripts: unchanged.
  for (const char16_t same :
       {u'@', u'[', u'`', u'{', u'×', u'ß', u'ı', u'ĸ', u'ſ', u'ς', u'Ա', u'Ａ'}) {
    EXPECT_EQ(FoldCase(same), same) << static_cast<int>(same);
  }
}

// Lower case maps to itself: folding twice equals folding once, over the whole range.
TEST(CaseFold, IsStableUnderRepetition) {
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const char16_t once = detail::FoldCase(static_cast<char16_t>(c));
    ASSERT_EQ(detail::FoldCase(once), once) << static_cast<int>(c);
  }
}

TEST(CaseFold, ComparesWholeTextsAndPrefixes) {
  const struct {
    std::u16string_view text, other;
    bool equal, startsWith;  // text equals other; text starts with other
  } cases[] = {
      {u"Straße ЖЁЛТЫЙ", u"STRAßE жёлтый", true, true},
      {u"straße", u"STRASSE", false, false},
      {u"abc", u"ab", false, true},
      {u"", u"", true, true},
      {u"Config/Item", u"CONFIG", false, true},
      {u"x", u"", false, true},
      {u"Conf", u"config", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.text) + " | " + ToUtf8(c.other));
    EXPECT_EQ(detail::EqualsIgnoreCase(c.text, c.other), c.equal);
    EXPECT_EQ(detail::StartsWithIgnoreCase(c.text, c.other), c.startsWith);
  }
}

// --- children -----------------------------------------------------------------------------------

TEST(Add, InsertsBeforeAPositionOrAppends) {
  cXmlNode node;
  AddChild(node, u"a");
  AddChild(node, u"b");
  node.Add(NamedNode(u"c"), 1);
  EXPECT_EQ(ChildNames(node), (Names{u"c", u"a", u"b"}));
  node.Add(NamedNode(u"d"), 9);
  EXPECT_EQ(ChildNames(node), (Names{u"c", u"a", u"b", u"d"}));
  node.Add(NamedNode(u"e"), 0);
  node.Add(NamedNode(u"f"), 5);
  node.Add(NamedNode(u"g"), node.NodeCount() + 1);
  EXPECT_EQ(ChildNames(node), (Names{u"c", u"a", u"b", u"d", u"f", u"e", u"g"}));
}

TEST(Add, StoresTheVeryNodeEvenTwice) {
  cXmlNode parent;
  const NodeRef child = NamedNode(u"child");
  parent.Add(child);
  parent.Add(child);
  EXPECT_EQ(parent.NodeCount(), 2);
  EXPECT_EQ(parent.Node(1), child);
  EXPECT_EQ(parent.Node(2), child);
  parent.Node(1)->SetValue(u"changed through the parent");
  EXPECT_EQ(child->Value(), u"changed through the parent");
}

TEST(Add, RejectsANegativePositionAndANullNodeWithoutChange) {
  cXmlNode node;
  AddChild(node, u"a");
  EXPECT_THROW(node.Add(NamedNode(u"x"), -1), std::out_of_range);
  EXPECT_THROW(node.Add(NamedNode(u"x"), std::numeric_limits<std::int32_t>::min()),
               std::out_of_range);
  EXPECT_THROW(node.Add(nullptr), std::invalid_argument);
  EXPECT_THROW(node.Add(nullptr, 1), std::invalid_argument);
  EXPECT_EQ(ChildNames(node), Names{u"a"});

  cXmlNode fresh;
  EXPECT_THROW(fresh.Add(NamedNode(u"x"), -1), std::out_of_range);
  EXPECT_FALSE(fresh.Remove(u"x")) << "a rejected Add must not create the child list";
}

TEST(Node, ReturnsNoneOutsideOneToCount) {
  cXmlNode node;
  const NodeRef a = AddChild(node, u"a");
  const NodeRef b = AddChild(node, u"b");
  const struct {
    std::int32_t index;
    NodeRef child;
  } rows[] = {
      {1, a},       {2, b},        {0, nullptr},
      {3, nullptr}, {-1, nullptr}, {std::numeric_limits<std::int32_t>::min(), nullptr},
  };
  for (const auto& row : rows)
    EXPECT_EQ(node.Node(row.index), row.child) << row.index;
}

TEST(RemoveByPosition, RemovesOneChildOrReportsFalse) {
  cXmlNode node;
  for (const char16_t* name : {u"a", u"b", u"c"})
    AddChild(node, name);
  EXPECT_TRUE(node.Remove(2));
  EXPECT_EQ(ChildNames(node), (Names{u"a", u"c"}));
  EXPECT_FALSE(node.Remove(7));
  EXPECT_FALSE(node.Remove(0));
  EXPECT_FALSE(node.Remove(-1));
  EXPECT_EQ(ChildNames(node), (Names{u"a", u"c"}));
  EXPECT_TRUE(node.Remove(2));
  EXPECT_TRUE(node.Remove(1));
  EXPECT_FALSE(node.Remove(1));
  EXPECT_FALSE(cXmlNode().Remove(1));
}

TEST(RemoveByName, RemovesEveryMatchIgnoringCase) {
  cXmlNode node;
  for (const char16_t* name : {u"item", u"keep", u"Item", u"ITEM", u"items", u"other"}) {
    AddChild(node, name);
  }
  EXPECT_TRUE(node.Remove(u"ITEM"));
  EXPECT_EQ(ChildNames(node), (Names{u"keep", u"items", u"other"}));
  EXPECT_TRUE(node.Remove(u"missing"));
  EXPECT_EQ(node.NodeCount(), 3);
}

TEST(RemoveByName, AnswersFalseOnlyWithoutAChildList) {
  cXmlNode node;
  EXPECT_FALSE(node.Remove(u"x"));
  AddChild(node, u"x");
  EXPECT_TRUE(node.Remove(u"X"));
  EXPECT_EQ(node.NodeCount(), 0);
  // The list survives its last child: it is still there, empty.
  EXPECT_TRUE(node.Remove(u"x"));
  EXPECT_TRUE(node.Remove(NamedNode(u"x")));
  AddChild(node, u"again");
  EXPECT_EQ(ChildNames(node), Names{u"again"});
}

TEST(RemoveByNode, RemovesTheLaterOccurrenceOfThatVeryObject) {
  cXmlNode node;
  const NodeRef twice = NamedNode(u"twice");
  const NodeRef lookalike = NamedNode(u"twice");
  node.Add(twice);
  AddChild(node, u"between");
  node.Add(twice);
  node.Add(lookalike);
  EXPECT_TRUE(node.Remove(twice));
  ASSERT_EQ(node.NodeCount(), 3);
  EXPECT_EQ(node.Node(1), twice);
  EXPECT_EQ(node.Node(3), lookalike);
  EXPECT_TRUE(node.Remove(NamedNode(u"stranger")));
  EXPECT_EQ(node.NodeCount(), 3);
  EXPECT_FALSE(cXmlNode().Remove(twice));
}

TEST(RemoveByNode, AcceptsAReferenceIntoTheChildListItself) {
  cXmlNode node;
  AddChild(node, u"a");
  AddChild(node, u"b");
  EXPECT_TRUE(node.Remove(detail::NodeAccess::Children(node)[0]));
  EXPECT_EQ(ChildNames(node), Names{u"b"});
}

TEST(Clear, DropsTheChildListButKeepsTheRest) {
  cXmlNode node;
  EXPECT_NO_THROW(node.Clear());
  node.SetValue(u"text");
  node.SetPropertyValue(u"p", u"1");
  const NodeRef kept = AddChild(node, u"kept");
  AddChild(*kept, u"grandchild");
  node.Clear();
  EXPECT_EQ(node.NodeCount(), 0);
  EXPECT_FALSE(node.Remove(u"kept")) << "no child list after Clear";
  EXPECT_EQ(node.Value(), u"text");
  EXPECT_EQ(node.PropertyValue(u"p"), u"1");
  EXPECT_EQ(ChildNames(*kept), Names{u"grandchild"}) << "a child held elsewhere lives on";
  node.Add(kept);
  EXPECT_EQ(node.Node(1), kept);
}

// --- release of deep and shared trees -----------------------------------------------------------

// A chain of `depth` nodes below top; returns the deepest.
NodeRef BuildChain(const NodeRef& top, int depth) {
  NodeRef current = top;
  for (int i = 0; i < depth; ++i) {
    NodeRef child = MakeNode();
    current->Add(child);
    current = std::move(child);
  }
  return current;
}

constexpr int kDeep = 1'000'000;

// A test that holds the deepest node sees the chain above it go: its parent let go of it. The
// sanitizer build checks that the rest of each chain is freed.
TEST(Release, ADeepChainGoesWithItsLastReference) {
  NodeRef top = MakeNode();
  const NodeRef deepest = BuildChain(top, kDeep);
  EXPECT_EQ(deepest.use_count(), 2);
  top.reset();
  EXPECT_EQ(deepest.use_count(), 1);
}

TEST(Release, RemoveAndClearReleaseDeepChains) {
  cXmlNode parent;
  NodeRef first = AddChild(parent, u"first");
  NodeRef second = AddChild(parent, u"second");
  const NodeRef deepFirst = BuildChain(first, kDeep);
  const NodeRef deepSecond = BuildChain(second, kDeep);
  first.reset();
  second.reset();
  EXPECT_TRUE(parent.Remove(1));
  EXPECT_EQ(deepFirst.use_count(), 1);
  EXPECT_EQ(deepSecond.use_count(), 2);
  parent.Clear();
  EXPECT_EQ(deepSecond.use_count(), 1);
}

TEST(Release, SharedNodesAndTheirSubtreesLiveOn) {
  NodeRef top = MakeNode();
  const NodeRef middle = BuildChain(top, 1000);
  const NodeRef deepest = BuildChain(middle, 1000);
  const NodeRef sibling = NamedNode(u"sibling");
  const NodeRef shared = NamedNode(u"shared");
  top->Add(sibling);
  top->Add(shared);
  sibling->Add(shared);
  top.reset();
  EXPECT_EQ(deepest.use_count(), 2);
  EXPECT_EQ(middle->NodeCount(), 1);
  EXPECT_EQ(sibling.use_count(), 1);
  EXPECT_EQ(sibling->Node(1), shared);
}

TEST(Release, ANodeThatIsItsOwnChildIsSurvivedAndCanBeFreed) {
  NodeRef loop = NamedNode(u"loop");
  loop->Add(loop);
  NodeRef parent = NamedNode(u"parent");
  parent->Add(loop);
  parent.reset();
  EXPECT_EQ(loop->Node(1), loop);
  EXPECT_EQ(loop.use_count(), 2);
  loop->Clear();
  EXPECT_EQ(loop.use_count(), 1);  // the sanitizer build checks that reset() frees it
}

// --- the pool behind large documents -------------------------------------------------------------

// Blocks never overlap, are aligned as promised, and may be released in any order, before or
// after the pool ends and on another thread; the sanitizer build checks that every chunk goes
// back exactly once.
// A pool for a small document starts with a small chunk, which a block larger than it outgrows.
class NodePoolTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(NodePoolTest, BlocksAreSeparateAndOutliveThePool) {
  struct Block {
    unsigned char* bytes;
    std::size_t size;
  };
  std::vector<Block> blocks;
  {
    detail::NodePool pool(GetParam());
    for (std::size_t i = 0; i < 5000; ++i) {
      const std::size_t size = i == 2500    ? detail::NodePool::kChunkBytes
                               : i % 7 == 3 ? 4000 + i % 96  // larger than a small first chunk
                                            : 1 + i % 200;
      auto* bytes = static_cast<unsigned char*>(pool.Allocate(size));
      ASSERT_EQ(reinterpret_cast<std::uintptr_t>(bytes) % detail::NodePool::kAlignment, 0u);
      std::memset(bytes, static_cast<int>(i & 0xFF), size);
      blocks.push_back({bytes, size});
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      const Block& block = blocks[i];
      for (std::size_t j = 0; j < block.size; ++j)
        ASSERT_EQ(block.bytes[j], i & 0xFF) << i;
    }
    for (std::size_t i = 0; i < blocks.size(); i += 2)
      detail::ReleaseNodeMemory(blocks[i].bytes);
  }
  std::thread([&blocks] {
    for (std::size_t i = 1; i < blocks.size(); i += 2)
      detail::ReleaseNodeMemory(blocks[i].bytes);
  }).join();
}

INSTANTIATE_TEST_SUITE_P(FirstChunks, NodePoolTest,
                         ::testing::Values(detail::NodePool::kChunkBytes,
                                           detail::NodePool::FirstChunkFor(1000)));

// The reader writes a value where the next block will start before it takes the block.
TEST(NodePool, TheNextRoomIsWhereTheNextBlockStarts) {
  EXPECT_EQ(detail::NodePool::FirstChunkFor(1000), 3u << 10);
  EXPECT_EQ(detail::NodePool::FirstChunkFor(1u << 20), detail::NodePool::kChunkBytes);
  EXPECT_TRUE(detail::NodePool::NextRoom().empty());  // no pool: blocks come from the heap
  detail::NodePool pool(detail::NodePool::FirstChunkFor(1000));
  const detail::NodePool::Scope scope(pool);
  std::vector<void*> blocks;
  for (const std::size_t size : {1u, 100u, 2000u, 9u, 4096u, 3000u, 5000u, 64u}) {
    const std::span<std::byte> room = detail::NodePool::NextRoom();
    blocks.push_back(detail::AllocateNodeMemory(size));
    if (size <= room.size()) {
      EXPECT_EQ(blocks.back(), room.data()) << size;
    }
  }
  for (void* block : blocks)
    detail::ReleaseNodeMemory(block);
}

}  // namespace
}  // namespace kestrelwing
