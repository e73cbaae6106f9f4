// cXml as a front for its root node: creation, the root and declaration, forwarding.
#include <kestrelwing/cXml.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "NodeBuilders.h"

namespace kestrelwing {
namespace {

using testing::AddChild;
using testing::ChildNames;
using testing::NamedNode;

TEST(NewDocument, HasAnEmptyRootAndNothingElse) {
  const cXml doc;
  EXPECT_EQ(doc.Result(), u"");
  EXPECT_EQ(doc.XMLNode(), nullptr);
  ASSERT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.RootName(), u"cXmlNode");
  EXPECT_EQ(doc.RootValue(), u"");
  EXPECT_EQ(doc.Content(), ContentEmpty);
  EXPECT_EQ(doc.NodeCount(), 0);
  EXPECT_EQ(doc.PropertyCount(), 0);
  EXPECT_EQ(doc.EncodingId(), 0);
  EXPECT_TRUE(doc.Properties().empty());
  EXPECT_TRUE(doc.Nodes().empty());
}

TEST(NewDocument, RootsAreNotShared) {
  const cXml first;
  const cXml second;
  EXPECT_NE(first.Root(), second.Root());
}

TEST(Forwarding, AddAppendsTheVeryNodesToTheRoot) {
  cXml doc;
  doc.SetRootName(u"root");
  const NodeRef first = NamedNode(u"first");
  const NodeRef second = NamedNode(u"second");
  doc.Add(first);
  doc.Add(second);
  EXPECT_EQ(doc.Root()->Name(), u"root");
  EXPECT_EQ(doc.NodeCount(), 2);
  EXPECT_EQ(doc.Node(1), first);
  EXPECT_EQ(doc.Node(2), second);
  EXPECT_EQ(doc.Node(3), nullptr);
  first->SetValue(u"changed by the caller");
  EXPECT_EQ(doc.Node(1)->Value(), u"changed by the caller");
  EXPECT_THROW(doc.Add(nullptr), std::invalid_argument);
}

TEST(Forwarding, PropertiesAreTheRootsProperties) {
  cXml doc;
  doc.SetPropertyValue(u"Version", u"2");
  doc.SetPropertyValue(u"VERSION", u"3");
  EXPECT_EQ(doc.PropertyValue(u"version"), u"3");
  EXPECT_EQ(doc.PropertyCount(), 1);
  EXPECT_EQ(doc.PropertyName(1), u"Version");
  EXPECT_EQ(doc.PropertyValue(u"absent", u"fallback"), u"fallback");
  EXPECT_EQ(doc.PropertyValue(u"absent"), u"");
  EXPECT_EQ(doc.PropertyCount(), 1);
  EXPECT_EQ(doc.Properties(), (std::vector<PropertyPair>{{u"Version", u"3"}}));
  EXPECT_EQ(doc.Root()->PropertyValue(u"version"), u"3");
}

TEST(Forwarding, ValueAndContentAreTheRoots) {
  cXml doc;
  doc.SetRootValue(u"<![CDATA[x]]>");
  EXPECT_EQ(doc.Root()->Value(), u"<![CDATA[x]]>");
  EXPECT_EQ(doc.Content(), ContentCData);
  doc.Root()->SetValue(u"text");
  EXPECT_EQ(doc.RootValue(), u"text");
  EXPECT_EQ(doc.Content(), ContentText);
}

TEST(Forwarding, QueriesRunOnTheRoot) {
  cXml doc;
  doc.SetRootName(u"assembly");
  const NodeRef file = NamedNode(u"file");
  file->SetPropertyValue(u"name", u"a.dll");
  const NodeRef comClass = AddChild(*file, u"comClass");
  doc.Add(file);
  const NodeRef other = NamedNode(u"FILE");
  other->SetPropertyValue(u"name", u"b.dll");
  doc.Add(other);

  EXPECT_EQ(doc.NodeByName(u"assembly/file/comClass"), comClass);
  EXPECT_EQ(doc.NodeByName(u"file\\comclass"), comClass);
  EXPECT_EQ(doc.Search(u"file", u"name", u"B.DLL"), other);
  EXPECT_EQ(doc.Search(u"file/comClass"), nullptr) << "the document's Search is not Search2";
  EXPECT_EQ(doc.Nodes(u"file"), (std::vector<NodeRef>{file, other}));
}

TEST(Forwarding, RemoveTakesEachKindOfArgument) {
  cXml doc;
  for (const char16_t* name : {u"a", u"b", u"A", u"c"})
    doc.Add(NamedNode(name));
  const NodeRef c = doc.Node(4);
  EXPECT_TRUE(doc.Remove(u"a"));
  EXPECT_EQ(ChildNames(*doc.Root()), (std::vector<std::u16string>{u"b", u"c"}));
  EXPECT_TRUE(doc.Remove(c));
  EXPECT_FALSE(doc.Remove(5));
  EXPECT_TRUE(doc.Remove(1));
  EXPECT_EQ(doc.NodeCount(), 0);
  EXPECT_FALSE(cXml().Remove(u"a")) << "a new root has no child list";
}

TEST(RootAndDeclaration, AreSharedNotCopied) {
  cXml doc;
  const NodeRef root = NamedNode(u"mine");
  doc.SetRoot(root);
  EXPECT_EQ(doc.Root(), root);
  EXPECT_EQ(doc.RootName(), u"mine");
  root->SetName(u"renamed by the caller");
  EXPECT_EQ(doc.RootName(), u"renamed by the caller");

  const NodeRef declaration = NamedNode(u"xml");
  declaration->SetPropertyValue(u"version", u"1.0");
  doc.SetXMLNode(declaration);
  EXPECT_EQ(doc.XMLNode(), declaration);
  doc.SetXMLNode(nullptr);
  EXPECT_EQ(doc.XMLNode(), nullptr);
  EXPECT_EQ(declaration->PropertyValue(u"version"), u"1.0") << "the caller's node lives on";
}

TEST(RootAndDeclaration, ANodeTakenFromTheDocumentOutlivesIt) {
  NodeRef root;
  {
    cXml doc;
    doc.SetRootName(u"kept");
    doc.Add(NamedNode(u"child"));
    root = doc.Root();
  }
  EXPECT_EQ(root->Name(), u"kept");
  EXPECT_EQ(root->NodeCount(), 1);
}

// The nodes of a large document share blocks of memory; each node still lives exactly as long
// as someone holds it, whichever document or thread it went to (the sanitizer build checks).
TEST(RootAndDeclaration, NodesOfALargeParsedDocumentLiveOnAnywhere) {
  std::string text = "<list>";
  for (int i = 0; text.size() < 300'000; ++i) {
    text += "<item n=\"" + std::to_string(i) + "\" note=\"some text\">value " + std::to_string(i) +
            "</item>";
  }
  text += "</list>";
  NodeRef kept;
  NodeRef moved;
  cXml other;
  {
    cXml doc;
    ASSERT_TRUE(doc.Parse(std::u16string(text.begin(), text.end())));
    const std::int32_t count = doc.NodeCount();
    kept = doc.Node(count / 2);
    moved = doc.Node(count - 1);
    other.Add(moved);
    doc.Remove(count - 1);
  }
  EXPECT_EQ(kept->PropertyValue(u"note"), u"some text");
  EXPECT_EQ(kept->Value(), u"value " + FromUtf8(ToUtf8(kept->PropertyValue(u"N"))));
  std::thread([node = std::move(kept)]() mutable { node.reset(); }).join();
  ASSERT_EQ(other.NodeCount(), 1);
  EXPECT_EQ(other.Node(1)->Name(), u"item");
  other.Root()->Clear();
  EXPECT_EQ(moved.use_count(), 1);
  EXPECT_EQ(moved->PropertyValue(u"note"), u"some text");
}

// The child lists of a large document's nodes come from its shared blocks too: a kept node's
// list grows, shrinks and goes on another thread after the document is gone.
TEST(RootAndDeclaration, ChildListsOfALargeParsedDocumentChangeAfterIt) {
  std::string text = "<list>";
  while (text.size() < 300'000)
    text += "<item><first/><second/></item>";
  text += "</list>";
  NodeRef kept;
  {
    cXml doc;
    ASSERT_TRUE(doc.Parse(std::u16string(text.begin(), text.end())));
    kept = doc.Node(doc.NodeCount() / 2);
  }
  for (int i = 0; i < 100; ++i) {
    auto added = MakeNode();
    added->SetName(u"added");
    kept->Add(std::move(added), 2);
  }
  ASSERT_EQ(kept->NodeCount(), 102);
  EXPECT_EQ(kept->Node(1)->Name(), u"first");
  EXPECT_EQ(kept->Node(102)->Name(), u"second");
  EXPECT_TRUE(kept->Remove(std::u16string_view(u"added")));
  ASSERT_EQ(kept->NodeCount(), 2);
  EXPECT_EQ(kept->Node(2)->Name(), u"second");
  std::thread([node = std::move(kept)]() mutable { node.reset(); }).join();
}

// Each thread reads into memory of its own: large documents read on two threads at once, while
// nodes made on each thread outside any reading, come out whole.
TEST(RootAndDeclaration, LargeDocumentsReadOnTwoThreadsAtOnceStayApart) {
  const auto read = [](char16_t letter, std::u16string& result) {
    std::u16string text = u"<list>";
    while (text.size() < 200'000)
      text += u"<item n=\"" + std::u16string(1, letter) + u"\">text</item>";
    text += u"</list>";
    for (int round = 0; round < 20; ++round) {
      cXml doc;
      if (!doc.Parse(text)) return;
      NodeRef loose = MakeNode();  // from the heap: no reading is going on here now
      loose->SetName(std::u16string(1, letter));
      doc.Add(loose);
      for (const NodeRef& item : doc.Nodes()) {
        if (item != loose &&
            (item->PropertyValue(u"n") != std::u16string(1, letter) || item->Value() != u"text")) {
          return;
        }
      }
    }
    result = letter;
  };
  std::u16string first, second;
  std::thread other(read, u'a', std::ref(first));
  read(u'b', second);
  other.join();
  EXPECT_EQ(first, u"a");
  EXPECT_EQ(second, u"b");
}

// Every member that forwards to the root fails the same way while there is none, and works
// again once a root is set.
TEST(MissingRoot, EveryForwardingMemberThrowsLogicError) {
  cXml doc;
  doc.SetRoot(nullptr);
  EXPECT_EQ(doc.Root(), nullptr);
  const std::vector<std::pair<const char*, std::function<void()>>> members = {
      {"RootName", [&] { doc.RootName(); }},
      {"SetRootName", [&] { doc.SetRootName(u"x"); }},
      {"RootValue", [&] { doc.RootValue(); }},
      {"SetRootValue", [&] { doc.SetRootValue(u"x"); }},
      {"Content", [&] { doc.Content(); }},
      {"PropertyValue", [&] { doc.PropertyValue(u"x", u"d"); }},
      {"SetPropertyValue", [&] { doc.SetPropertyValue(u"x", u"y"); }},
      {"PropertyCount", [&] { doc.PropertyCount(); }},
      {"PropertyName", [&] { doc.PropertyName(1); }},
      {"NodeCount", [&] { doc.NodeCount(); }},
      {"Node", [&] { doc.Node(1); }},
      {"Properties", [&] { doc.Properties(); }},
      {"Add", [&] { doc.Add(NamedNode(u"x")); }},
      {"Remove(position)", [&] { doc.Remove(1); }},
      {"Remove(name)", [&] { doc.Remove(u"x"); }},
      {"Remove(node)", [&] { doc.Remove(NamedNode(u"x")); }},
      {"NodeByName", [&] { doc.NodeByName(u"x"); }},
      {"Nodes", [&] { doc.Nodes(); }},
      {"Search", [&] { doc.Search(u"x"); }},
  };
  for (const auto& [name, call] : members)
    EXPECT_THROW(call(), std::logic_error) << name;

  // Members that do not forward keep working.
  EXPECT_EQ(doc.Result(), u"");
  EXPECT_EQ(doc.XMLNode(), nullptr);
  EXPECT_EQ(doc.EncodingId(), 0);

  doc.SetRoot(NamedNode(u"back"));
  EXPECT_EQ(doc.RootName(), u"back");
  doc.Add(NamedNode(u"x"));
  EXPECT_EQ(doc.NodeCount(), 1);
}

}  // namespace
}  // namespace kestrelwing
