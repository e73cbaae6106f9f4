#include "SuiteIndex.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>

#include <libxml/parser.h>
#include <libxml/tree.h>

namespace kestrelwing::conformance {

std::string_view TypeName(CaseType type) {
  switch (type) {
    case CaseType::Valid:
      return "valid";
    case CaseType::Invalid:
      return "invalid";
    case CaseType::NotWellFormed:
      return "not-wf";
    case CaseType::Error:
      return "error";
  }
  return "?";
}

namespace {

struct FreeDocument {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};
using Document = std::unique_ptr<xmlDoc, FreeDocument>;

constexpr int kIndexOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

std::string Text(const xmlChar* text) {
  return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}
bool Named(const xmlNode* node, std::string_view name) {
  return node->type == XML_ELEMENT_NODE && Text(node->name) == name;
}
std::string Attribute(const xmlNode* node, const char* name, const char* absent = "") {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (value == nullptr) return absent;
  std::string result = Text(value);
  xmlFree(value);
  return result;
}
std::string BaseAttribute(const xmlNode* node) {
  xmlChar* value = xmlGetNsProp(node, reinterpret_cast<const xmlChar*>("base"), XML_XML_NAMESPACE);
  if (value == nullptr) return "";
  std::string result = Text(value);
  xmlFree(value);
  return result;
}
bool HasToken(const std::string& tokens, std::string_view token) {
  std::istringstream words(tokens);
  std::string word;
  while (words >> word) {
    if (word == token) return true;
  }
  return false;
}

class IndexReader {
 public:
  IndexReader(SuiteIndex& index, std::filesystem::path folder)
      : index_(index), folder_(std::move(folder)) {}

  void ReadCollection(const xmlNode* testcases, const std::filesystem::path& base,
                      Collection& collection) {
    for (const xmlNode* child = testcases->children; child != nullptr; child = child->next) {
      if (Named(child, "TEST")) {
        ReadCase(child, base, collection);
      } else if (Named(child, "TESTCASES")) {
        ReadCollection(child, base / BaseAttribute(child), collection);
      } else if (child->type == XML_ENTITY_REF_NODE) {
        ReadIncluded(child, collection);
      }
    }
  }

 private:
  // A collection file included by an entity reference: a well-formed external parsed entity
  // (several TEST elements side by side), read inside an element of its own.
  void ReadIncluded(const xmlNode* reference, Collection& collection) {
    const xmlEntity* entity = xmlGetDocEntity(reference->doc, reference->name);
    if (entity == nullptr || (entity->URI == nullptr && entity->SystemID == nullptr)) {
      Fail("the entity " + Text(reference->name) + " is not declared as a file");
      return;
    }
    const std::filesystem::path file =
        Text(entity->URI != nullptr ? entity->URI : entity->SystemID);
    std::ifstream stream(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (!stream.good() && !stream.eof()) {
      Fail("cannot read " + file.string());
      return;
    }
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    if (text.starts_with("<?xml")) text.erase(0, text.find("?>") + 2);  // the text declaration
    const std::string wrapped = "<included>" + text + "</included>";
    const Document document(xmlReadMemory(wrapped.data(), static_cast<int>(wrapped.size()),
                                          file.string().c_str(), "UTF-8", kIndexOptions));
    if (!document) {
      Fail("cannot read " + file.string());
      return;
    }
    const xmlNode* included = xmlDocGetRootElement(document.get());
    // A collection is named after the folder of its files (xmlconf.xml's xml:base can be wrong:
    // eduni/namespaces/misc/ holds nothing), and the eduni ones carry their PROFILE only there.
    if (collection.name.empty()) {
      collection.name = file.parent_path().lexically_relative(folder_).generic_string();
    }
    for (const xmlNode* child = included->children; child != nullptr; child = child->next) {
      if (collection.profile.empty() && Named(child, "TESTCASES")) {
        collection.profile = Attribute(child, "PROFILE");
      }
    }
    ReadCollection(included, file.parent_path(), collection);
  }

  void ReadCase(const xmlNode* test, const std::filesystem::path& base, Collection& collection) {
    const std::string recommendation = Attribute(test, "RECOMMENDATION", "XML1.0");
    const std::string version = Attribute(test, "VERSION");
    const std::string edition = Attribute(test, "EDITION");
    if (recommendation.starts_with("NS")) {
      ++collection.namespaces;
      return;
    }
    if (recommendation == "XML1.1" || (!version.empty() && !HasToken(version, "1.0"))) {
      ++collection.otherVersion;
      return;
    }
    if (!edition.empty() && !HasToken(edition, "5")) {
      ++collection.otherEdition;
      return;
    }
    SuiteCase suiteCase;
    suiteCase.id = Attribute(test, "ID");
    const std::string type = Attribute(test, "TYPE");
    if (type == "valid") {
      suiteCase.type = CaseType::Valid;
    } else if (type == "invalid") {
      suiteCase.type = CaseType::Invalid;
    } else if (type == "not-wf") {
      suiteCase.type = CaseType::NotWellFormed;
    } else if (type == "error") {
      suiteCase.type = CaseType::Error;
    } else {
      Fail("the case " + suiteCase.id + " has the type \"" + type + "\"");
      return;
    }
    suiteCase.file = (base / Attribute(test, "URI")).lexically_normal();
    const std::string output = Attribute(test, "OUTPUT");
    if (!output.empty()) suiteCase.output = (base / output).lexically_normal();
    suiteCase.needsExternalEntity = Attribute(test, "ENTITIES", "none") != "none";
    collection.cases.push_back(std::move(suiteCase));
  }

  void Fail(std::string why) {
    if (index_.failure.empty()) index_.failure = std::move(why);
  }

  SuiteIndex& index_;
  std::filesystem::path folder_;
};

}  // namespace

SuiteIndex ReadSuiteIndex(const std::filesystem::path& folder) {
  SuiteIndex index;
  const std::filesystem::path file = folder / "xmlconf.xml";
  // Entity references stay in the tree (no substitution), so each one tells which file it
  // includes.
  const Document document(xmlReadFile(file.string().c_str(), nullptr, kIndexOptions));
  if (!document) {
    index.failure = "cannot read " + file.string();
    return index;
  }
  IndexReader reader(index, folder);
  const xmlNode* suite = xmlDocGetRootElement(document.get());
  for (const xmlNode* child = suite->children; child != nullptr; child = child->next) {
    if (!Named(child, "TESTCASES")) continue;
    Collection collection;
    const std::string base = BaseAttribute(child);
    collection.profile = Attribute(child, "PROFILE");
    reader.ReadCollection(child, folder / base, collection);
    if (collection.name.empty()) {
      collection.name =
          base.empty() ? collection.profile : base.substr(0, base.find_last_not_of('/') + 1);
    }
    index.collections.push_back(std::move(collection));
  }
  if (index.collections.empty() && index.failure.empty()) {
    index.failure = file.string() + " lists no TESTCASES";
  }
  return index;
}

}  // namespace kestrelwing::conformance
