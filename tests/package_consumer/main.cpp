// Uses the public surface exactly as declared, through the installed headers and library.
#include <kestrelwing/cXml.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

using namespace kestrelwing;

int main() {
  cXml document;
  document.SetRootName(u"config");
  document.SetPropertyValue(u"version", u"2");

  NodeRef item = MakeNode();
  item->SetName(u"item");
  item->SetPropertyValue(u"name", u"a");
  document.Add(item);

  NodeRef group = MakeNode();
  group->SetName(u"group");
  group->Add(MakeNode(), 0);
  document.Add(group);

  const bool ok = document.NodeCount() == 2 && document.Node(1) == item &&
                  document.NodeByName(u"config/group") == group &&
                  document.Search(u"ITEM", u"name", u"A") == item &&
                  group->Search2(u"\\cXmlNode") != nullptr && document.Nodes().size() == 2 &&
                  document.Properties().at(0)[1] == u"2" &&
                  document.PropertyName(1) == u"version" && document.PropertyCount() == 1 &&
                  document.Content() == ContentEmpty && document.RootValue().empty() &&
                  document.Result().empty() && document.EncodingId() == 0 &&
                  ToUtf8(FromUtf8("\xc3\xa9")) == "\xc3\xa9";

  bool parsed = document.Parse(u"<a b=\"c\"/>");
  const std::uint8_t bytes[] = {'<', 'x', '/', '>'};
  parsed = parsed && document.Parse(std::span<const std::uint8_t>(bytes));
  const bool saveRefused = !document.Save(u"", true, 1, false, 7);

  document.Remove(1);
  document.Remove(u"item");
  document.Remove(item);
  document.SetXMLNode(nullptr);
  document.SetRoot(nullptr);
  bool threw = false;
  try {
    (void)document.RootName();
  } catch (const std::logic_error&) {
    threw = true;
  }

  if (!ok || !parsed || !saveRefused || !threw || document.XMLNode() != nullptr) {
    std::puts("package consumer: unexpected result");
    return 1;
  }
  std::puts("package consumer: ok");
  return 0;
}
