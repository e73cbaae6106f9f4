#include "SelfCheckRequest.h"

#include <cstdint>
#include <span>

#include <kestrelwing/cXmlNode.h>

#include "ComponentFile.h"
#include "Failure.h"
#include "Sibling.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

// The check mode's command line: the first option says the mode and names the pending manifest.
constexpr std::u16string_view kModeOption = u"-selfcheck:";
constexpr std::u16string_view kComponentOption = u"-checkcomponent:";
constexpr std::u16string_view kLabelOption = u"-checklabel:";
constexpr std::u16string_view kClientOption = u"-checkclient:";
constexpr std::u16string_view kClientComponentOption = u"-checkclientcomponent:";
constexpr std::u16string_view kDeclinedOption = u"-checkdeclined:";
constexpr std::u16string_view kReportOption = u"-appendreport:";
constexpr std::u16string_view kTimeoutOption = u"-timeout:";

std::wstring Argument(std::u16string_view option, const std::wstring& value) {
  return L" " + QuoteArgument(ToWide(option) + value);
}

std::wstring OptionValue(const std::vector<std::u16string>& arguments, std::u16string_view option) {
  for (const std::u16string& argument : arguments) {
    if (argument.starts_with(option)) return ToWide(argument.substr(option.size()));
  }
  return {};
}

// The item limit given; the longest one when it is missing or no number of seconds.
unsigned ItemLimit(const std::wstring& text) {
  unsigned seconds = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9' || seconds > kLongestCheckItemSeconds) return kLongestCheckItemSeconds;
    seconds = seconds * 10 + static_cast<unsigned>(c - L'0');
  }
  return seconds == 0 ? kLongestCheckItemSeconds : CheckItemLimitSeconds(seconds);
}

void ReadProxyStubs(const cXmlNode& parent, bool inFile, Declared& declared) {
  const std::u16string_view element =
      inFile ? u"comInterfaceProxyStub" : u"comInterfaceExternalProxyStub";
  for (const NodeRef& node : parent.Nodes(element)) {
    const std::u16string proxyStub = node->PropertyValue(u"proxyStubClsid32");
    if (proxyStub.empty()) continue;
    declared.proxyStubs.push_back({node->PropertyValue(u"iid"), proxyStub, inFile});
  }
}

}  // namespace

std::wstring CheckCommandLine(const std::wstring& program, const CheckArguments& arguments) {
  std::wstring line = QuoteArgument(program) + Argument(kModeOption, arguments.manifest) +
                      Argument(kComponentOption, arguments.component) +
                      Argument(kLabelOption, ToWide(arguments.label)) +
                      Argument(kDeclinedOption, arguments.declined) +
                      Argument(kTimeoutOption, std::to_wstring(arguments.itemLimitSeconds));
  if (!arguments.clientManifest.empty()) {
    line += Argument(kClientOption, arguments.clientManifest);
    if (!arguments.clientComponent.empty()) {
      line += Argument(kClientComponentOption, arguments.clientComponent);
    }
  }
  if (!arguments.report.empty()) line += Argument(kReportOption, arguments.report);
  return line;
}

bool IsCheckModeCommand(const std::vector<std::u16string>& arguments) {
  return !arguments.empty() && arguments.front().starts_with(kModeOption);
}

CheckArguments ReadCheckArguments(const std::vector<std::u16string>& arguments) {
  CheckArguments read;
  read.manifest = OptionValue(arguments, kModeOption);
  read.component = OptionValue(arguments, kComponentOption);
  read.label = FromWide(OptionValue(arguments, kLabelOption));
  read.clientManifest = OptionValue(arguments, kClientOption);
  read.clientComponent = OptionValue(arguments, kClientComponentOption);
  if (read.clientComponent.empty()) read.clientComponent = read.component;
  read.declined = OptionValue(arguments, kDeclinedOption);
  read.report = OptionValue(arguments, kReportOption);
  read.itemLimitSeconds = ItemLimit(OptionValue(arguments, kTimeoutOption));
  return read;
}

bool ReadDocument(const std::wstring& path, cXml& document) {
  return document.Parse(std::span<const std::uint8_t>(ReadFileOrFail(path))) &&
         static_cast<bool>(document.Root());
}

Declared ReadDeclared(const std::wstring& manifest) {
  cXml document;
  if (!ReadDocument(manifest, document)) {
    throw Failure(ExitCode::ManifestRejected,
                  u"the new manifest cannot be read back: " + document.Result());
  }
  const NodeRef root = document.Root();
  Declared declared;
  if (const NodeRef identity = root->NodeByName(u"assemblyIdentity")) {
    declared.assemblyName = identity->PropertyValue(u"name");
  }
  for (const NodeRef& file : root->Nodes(u"file")) {
    for (const NodeRef& comClass : file->Nodes(u"comClass")) {
      Declared::Class entry{
          comClass->PropertyValue(u"clsid"), comClass->PropertyValue(u"threadingModel"), {}};
      if (const std::u16string progId = comClass->PropertyValue(u"progid"); !progId.empty()) {
        entry.progIds.push_back(progId);
      }
      for (const NodeRef& progId : comClass->Nodes(u"progid"))
        entry.progIds.emplace_back(progId->Value());
      declared.classes.push_back(std::move(entry));
    }
    for (const NodeRef& library : file->Nodes(u"typelib")) {
      declared.libraries.push_back(
          {library->PropertyValue(u"tlbid"), library->PropertyValue(u"version"),
           file->PropertyValue(u"name"), library->PropertyValue(u"resourceid")});
    }
    ReadProxyStubs(*file, true, declared);
  }
  ReadProxyStubs(*root, false, declared);
  return declared;
}

std::size_t WatchedCalls(const Declared& declared, bool client) {
  std::size_t calls = declared.classes.size() + declared.libraries.size() +
                      declared.proxyStubs.size() + (client ? 1 : 0);
  for (const Declared::Class& comClass : declared.classes)
    calls += comClass.progIds.size();
  return calls;
}

}  // namespace kestrelwing::regsvr42
