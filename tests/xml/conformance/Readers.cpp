#include "Readers.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include <kestrelwing/cXml.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <tinyxml2.h>
#include <pugixml.hpp>

#include "Canonical.h"

namespace kestrelwing::conformance {

namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

Reading ReadWithKestrelwing(std::string_view bytes) {
  Reading reading;
  cXml document;
  document.SetSyntax(XmlSyntax::Xml10);
  reading.accepted = document.Parse(Bytes(bytes));
  if (!reading.accepted) {
    reading.failure = ToUtf8(document.Result());
    return reading;
  }
  reading.canonical = CanonicalForm(document);

  std::vector<std::uint8_t> saved;
  if (!document.SaveToBytes(saved, /*prettyPrint=*/false, /*identType=*/0, /*bom=*/false)) {
    reading.roundTripFailure = "SaveToBytes: " + ToUtf8(document.Result());
    return reading;
  }
  cXml again;
  again.SetSyntax(XmlSyntax::Xml10);
  if (!again.Parse(std::span<const std::uint8_t>(saved))) {
    reading.roundTripFailure = "what SaveToBytes wrote is refused: " + ToUtf8(again.Result());
    return reading;
  }
  reading.canonicalAfterRoundTrip = CanonicalForm(again);
  return reading;
}

namespace {

void PugixmlContent(const pugi::xml_node& parent, CanonicalWriter& writer) {
  for (const pugi::xml_node& node : parent.children()) {
    switch (node.type()) {
      case pugi::node_element: {
        std::vector<CanonicalWriter::Attribute> attributes;
        for (const pugi::xml_attribute& attribute : node.attributes()) {
          attributes.emplace_back(attribute.name(), attribute.value());
        }
        writer.StartElement(node.name(), std::move(attributes));
        PugixmlContent(node, writer);
        writer.EndElement(node.name());
        break;
      }
      case pugi::node_pcdata:
      case pugi::node_cdata:
        writer.Text(node.value());
        break;
      case pugi::node_pi:
        writer.ProcessingInstruction(node.name(), node.value());
        break;
      case pugi::node_doctype: {
        // Its value is everything between "<!DOCTYPE " and the closing '>'.
        const std::string_view body = node.value();
        const std::string_view name = body.substr(0, body.find_first_of(" \t\r\n["));
        writer.DocumentType(name, ReadDocumentType(body.substr(name.size())));
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace

Reading ReadWithPugixml(std::string_view bytes) {
  Reading reading;
  pugi::xml_document document;
  const pugi::xml_parse_result result =
      document.load_buffer(bytes.data(), bytes.size(), pugi::parse_full | pugi::parse_ws_pcdata);
  reading.accepted = static_cast<bool>(result);
  if (!reading.accepted) {
    reading.failure = result.description();
    return reading;
  }
  CanonicalWriter writer;
  PugixmlContent(document, writer);
  reading.canonical = writer.Result();
  return reading;
}

Reading ReadWithTinyxml2(std::string_view bytes) {
  Reading reading;
  tinyxml2::XMLDocument document(/*processEntities=*/true, tinyxml2::PRESERVE_WHITESPACE);
  reading.accepted = document.Parse(bytes.data(), bytes.size()) == tinyxml2::XML_SUCCESS;
  if (!reading.accepted) reading.failure = document.ErrorStr();
  return reading;
}

namespace {

std::string Text(const xmlChar* text) {
  return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

std::string QualifiedName(const xmlNs* ns, const xmlChar* name) {
  return ns != nullptr && ns->prefix != nullptr ? Text(ns->prefix) + ":" + Text(name) : Text(name);
}

void CollectNotation(void* payload, void* data, const xmlChar*) {
  const auto* declared = static_cast<const xmlNotation*>(payload);
  Notation notation;
  notation.name = Text(declared->name);
  notation.hasPublic = declared->PublicID != nullptr;
  notation.publicId = Text(declared->PublicID);
  notation.hasSystem = declared->SystemID != nullptr;
  notation.systemId = Text(declared->SystemID);
  static_cast<DocumentTypeContent*>(data)->notations.push_back(std::move(notation));
}

void Libxml2Content(const xmlNode* first, CanonicalWriter& writer) {
  for (const xmlNode* node = first; node != nullptr; node = node->next) {
    switch (node->type) {
      case XML_ELEMENT_NODE: {
        std::vector<CanonicalWriter::Attribute> attributes;
        // Namespace declarations are attributes to a processor that knows no namespaces.
        for (const xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next) {
          attributes.emplace_back(ns->prefix != nullptr ? "xmlns:" + Text(ns->prefix) : "xmlns",
                                  Text(ns->href));
        }
        for (const xmlAttr* attribute = node->properties; attribute != nullptr;
             attribute = attribute->next) {
          // In line: the text as it is, not escaped again.
          xmlChar* value = xmlNodeListGetString(node->doc, attribute->children, /*inLine=*/1);
          std::string text = Text(value);
          xmlFree(value);
          attributes.emplace_back(QualifiedName(attribute->ns, attribute->name), std::move(text));
        }
        const std::string name = QualifiedName(node->ns, node->name);
        writer.StartElement(name, std::move(attributes));
        Libxml2Content(node->children, writer);
        writer.EndElement(name);
        break;
      }
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        writer.Text(Text(node->content));
        break;
      case XML_PI_NODE:
        writer.ProcessingInstruction(Text(node->name), Text(node->content));
        break;
      case XML_DTD_NODE: {
        const auto* subset = reinterpret_cast<const xmlDtd*>(node);
        DocumentTypeContent content;
        for (const xmlNode* child = subset->children; child != nullptr; child = child->next) {
          if (child->type == XML_PI_NODE) {
            content.instructions.push_back({Text(child->name), Text(child->content)});
          }
        }
        if (subset->notations != nullptr) {
          xmlHashScan(static_cast<xmlHashTablePtr>(subset->notations), CollectNotation, &content);
        }
        writer.DocumentType(Text(subset->name), std::move(content));
        break;
      }
      default:
        break;
    }
  }
}

xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

void Silent(void*, const char*, ...) {}

struct FreeContext {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
struct FreeDocument {
  void operator()(xmlDoc* document) const { xmlFreeDoc(document); }
};

}  // namespace

void PrepareLibxml2() {
  xmlInitParser();
  xmlSetExternalEntityLoader(RefuseExternalEntity);
  xmlSetGenericErrorFunc(nullptr, Silent);
}

Reading ReadWithLibxml2(std::string_view bytes) {
  Reading reading;
  const std::unique_ptr<xmlParserCtxt, FreeContext> context(xmlNewParserCtxt());
  const std::unique_ptr<xmlDoc, FreeDocument> document(xmlCtxtReadMemory(
      context.get(), bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
      XML_PARSE_NOENT | XML_PARSE_DTDATTR | XML_PARSE_NONET | XML_PARSE_NOERROR |
          XML_PARSE_NOWARNING));
  reading.accepted = document != nullptr && context->wellFormed != 0;
  if (!reading.accepted) {
    reading.failure = Text(reinterpret_cast<const xmlChar*>(context->lastError.message));
    while (!reading.failure.empty() && reading.failure.back() == '\n')
      reading.failure.pop_back();
    return reading;
  }
  CanonicalWriter writer;
  Libxml2Content(document->children, writer);
  reading.canonical = writer.Result();
  return reading;
}

}  // namespace kestrelwing::conformance
