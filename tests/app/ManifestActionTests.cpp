// "Generar SxS" on real files: the recorded launch stands in for the generator and writes its
// manifest; the real cXml reads and rewrites it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include <kestrelwing/cXmlNode.h>

#include "Actions.h"
#include "ManifestAction.h"
#include "RecordingHost.h"
#include "TempFolder.h"

namespace kestrelwing {
namespace {

namespace fs = std::filesystem;
using testing::Launch;
using testing::Message;
using testing::ReadBytes;
using testing::RecordingHost;
using testing::WriteBytes;

const std::string kUtf8Bom = "\xEF\xBB\xBF";
const std::string kUtf16Bom = "\xFF\xFE";

constexpr char kDescription[] = "Rejilla &amp; gr\xC3\xA1\x66icos \xE6\x97\xA5\xE6\x9C\xAC";

// A generator's one-line manifest, and the same document as the rewrite must lay it out.
std::string CompactManifest(const std::string& declaration, const std::string& description) {
  return declaration +
         "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
         "<assemblyIdentity type=\"win32\" name=\"Mi.Rejilla\" version=\"1.0.0.0\"/>"
         "<description>" +
         description +
         "</description>"
         "<file name=\"Mi Rejilla.ocx\">"
         "<comClass clsid=\"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}\" threadingModel=\"Apartment\" "
         "progid=\"Kestrelwing.TestDual.1\"/>"
         "<typelib tlbid=\"{0B5A4C3D-2E1F-4A09-8B7C-6D5E4F3A2B1C}\" version=\"1.0\" helpdir=\"\"/>"
         "</file></assembly>";
}

std::string PrettyManifest(const std::string& declaration, const std::string& description) {
  return declaration + "\r\n" +
         "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
         "    <assemblyIdentity type=\"win32\" name=\"Mi.Rejilla\" version=\"1.0.0.0\"/>\r\n"
         "    <description>" +
         description +
         "</description>\r\n"
         "    <file name=\"Mi Rejilla.ocx\">\r\n"
         "        <comClass clsid=\"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}\" "
         "threadingModel=\"Apartment\" progid=\"Kestrelwing.TestDual.1\"/>\r\n"
         "        <typelib tlbid=\"{0B5A4C3D-2E1F-4A09-8B7C-6D5E4F3A2B1C}\" version=\"1.0\" "
         "helpdir=\"\"/>\r\n"
         "    </file>\r\n"
         "</assembly>\r\n";
}

// UTF-8 text as UTF-16 little-endian bytes.
std::string Utf16LittleEndian(const std::string& utf8) {
  std::string bytes;
  for (const char16_t unit : FromUtf8(utf8)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// As the generator writes: a new file moved over the old one.
void ReplaceBytes(const fs::path& path, const std::string& bytes) {
  fs::path temporary = path;
  temporary += ".new";
  WriteBytes(temporary, bytes);
  fs::rename(temporary, path);
}

class GenerateManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = folder.path();
    component_ = folder_ / fs::path(u"Mi Rejilla.ocx");
    manifest_ = folder_ / fs::path(u"Mi Rejilla.sxs.manifest");
    WriteBytes(component_, "MZ");
    host_.pathText = component_.u16string();
  }
  // The generator, when launched, writes bytes as the component's manifest.
  void GeneratorWrites(const std::string& bytes) {
    host_.whileLaunched = [this, bytes] { ReplaceBytes(manifest_, bytes); };
  }

  std::vector<Message> Confirmation() const {
    return {{u"SxS Generado", MessageIcon::Information}};
  }

  // Blanks and characters outside any ANSI code page: the path must stay wide throughout.
  testing::TempFolder folder{u"Kestrelwing prueba \u00f1 \u65e5\u672c "};
  fs::path folder_;
  fs::path component_;
  fs::path manifest_;
  RecordingHost host_;
  FrmMainActions actions_{host_};
};

TEST_F(GenerateManifestTest, RunsTheGeneratorHiddenAndRewritesItsManifestPrettyPrinted) {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
  GeneratorWrites(CompactManifest(declaration, kDescription));
  actions_.OnBtnMainClick(BtnGenerate);

  const Launch expected{u"C:\\Program Files\\Kestrelwing\\tools\\regsvr42.exe",
                        u"\"" + component_.u16string() + u"\"", u"", ShowHidden, true};
  EXPECT_EQ(host_.launches, std::vector<Launch>{expected});
  EXPECT_EQ(ReadBytes(manifest_), PrettyManifest(declaration, kDescription));
  EXPECT_EQ(host_.messages, Confirmation());
  EXPECT_EQ(ReadBytes(component_), "MZ");
}

TEST_F(GenerateManifestTest, ManifestLeftFromAnEarlierRunIsNotConfirmedWhenTheToolWritesNothing) {
  const std::string stale = CompactManifest("<?xml version=\"1.0\"?>", "old");
  WriteBytes(manifest_, stale);
  actions_.OnBtnMainClick(BtnGenerate);
  const std::vector<Message> expected = {
      {u"El generador no escribi\u00f3 el manifiesto " + manifest_.u16string(),
       MessageIcon::Error}};
  EXPECT_EQ(host_.messages, expected);
  EXPECT_EQ(ReadBytes(manifest_), stale);
}

TEST_F(GenerateManifestTest, GeneratorFailureIsReportedWithItsMeaningAndNothingIsTouched) {
  GeneratorWrites(CompactManifest("", "half-written"));  // a failed run must not be trusted
  const std::pair<std::uint32_t, std::u16string> cases[] = {
      {5u,
       u"El generador termin\u00f3 con el c\u00f3digo 5: el componente, o una DLL que "
       u"necesita, no se carga"},
      {12u,
       u"El generador termin\u00f3 con el c\u00f3digo 12: el componente fall\u00f3 en "
       u"DllMain o en DllRegisterServer"},
      {13u,
       u"El generador termin\u00f3 con el c\u00f3digo 13: el manifiesto no cargar\u00eda en "
       u"Windows, o una clase no super\u00f3 la prueba sin registro"},
      {15u,
       u"El generador termin\u00f3 con el c\u00f3digo 15: el componente no respondi\u00f3 a "
       u"tiempo"},
      {18u, u"El generador termin\u00f3 con el c\u00f3digo 18"},
      {40u, u"El generador termin\u00f3 con el c\u00f3digo 40"},
      {0xC0000005u, u"El generador termin\u00f3 con el c\u00f3digo 0xC0000005"},
  };
  for (const auto& [code, text] : cases) {
    SCOPED_TRACE(code);
    host_.messages.clear();
    host_.exitCode = code;
    actions_.OnBtnMainClick(BtnGenerate);
    EXPECT_EQ(host_.messages, (std::vector<Message>{{text, MessageIcon::Error}}));
    EXPECT_EQ(ReadBytes(manifest_), CompactManifest("", "half-written"));
  }
}

TEST_F(GenerateManifestTest, ManifestIsTrustedOnItsOwnWhenTheExitCodeIsUnknown) {
  const std::string declaration = "<?xml version=\"1.0\"?>";
  GeneratorWrites(CompactManifest(declaration, "x"));
  host_.exitCode.reset();
  actions_.OnBtnMainClick(BtnGenerate);
  EXPECT_EQ(ReadBytes(manifest_), PrettyManifest(declaration, "x"));
  EXPECT_EQ(host_.messages, Confirmation());
}

TEST_F(GenerateManifestTest, FailedLaunchIsReportedAndNothingIsTouched) {
  const std::string stale = CompactManifest("", "stale");
  WriteBytes(manifest_, stale);
  const fs::path report = folder_ / "informe.tmp";
  host_.temporaryFile = report.u16string();
  host_.launchError = 5;  // ERROR_ACCESS_DENIED
  actions_.OnBtnMainClick(BtnGenerate);

  const std::vector<Message> expected = {
      {u"No se pudo ejecutar C:\\Program Files\\Kestrelwing\\tools\\regsvr42.exe",
       MessageIcon::Error}};
  EXPECT_EQ(host_.messages, expected);
  EXPECT_TRUE(host_.existenceTests.empty());
  EXPECT_EQ(ReadBytes(manifest_), stale);
  EXPECT_FALSE(fs::exists(report)) << "the report file of a run that never started was left";
}

TEST_F(GenerateManifestTest, MissingManifestIsReported) {
  actions_.OnBtnMainClick(BtnGenerate);
  const std::vector<Message> expected = {
      {u"No se encontr\u00f3 el manifiesto " + manifest_.u16string(), MessageIcon::Error}};
  EXPECT_EQ(host_.messages, expected);
  EXPECT_EQ(host_.existenceTests, std::vector<std::u16string>{manifest_.u16string()});
  EXPECT_FALSE(fs::exists(manifest_));
}

TEST_F(GenerateManifestTest, BrokenManifestIsReportedWithTheParseErrorAndLeftAsWritten) {
  const std::string broken[] = {
      "<?xml version=\"1.0\"?><assembly><file name=\"a.ocx\"></assembly>",
      "<assembly><comClass clsid=\"{1}\"/>",
      "",
  };
  for (const std::string& bytes : broken) {
    SCOPED_TRACE(bytes);
    host_.messages.clear();
    GeneratorWrites(bytes);
    actions_.OnBtnMainClick(BtnGenerate);

    ASSERT_EQ(host_.messages.size(), 1u);
    const std::u16string prefix = u"No se pudo procesar el manifiesto: ";
    const Message& message = host_.messages[0];
    EXPECT_EQ(message.icon, MessageIcon::Error);
    EXPECT_EQ(message.text.substr(0, prefix.size()), prefix);
    EXPECT_GT(message.text.size(), prefix.size()) << "the reason is missing";
    EXPECT_EQ(ReadBytes(manifest_), bytes);
  }
}

TEST_F(GenerateManifestTest, ManifestThatIsAFolderIsReportedAsUnprocessable) {
  fs::create_directories(manifest_);
  actions_.OnBtnMainClick(BtnGenerate);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(fs::is_directory(manifest_));
}

TEST_F(GenerateManifestTest, WorksOnTheComponentLaunchedEvenIfTheBoxChangesDuringTheWait) {
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  host_.whileLaunched = [this, declaration] {
    WriteBytes(manifest_, CompactManifest(declaration, "x"));
    host_.pathText = u"C:\\otro\\componente.ocx";
  };
  actions_.OnBtnMainClick(BtnGenerate);
  EXPECT_EQ(host_.existenceTests, std::vector<std::u16string>{manifest_.u16string()});
  EXPECT_EQ(ReadBytes(manifest_), PrettyManifest(declaration, "x"));
  EXPECT_EQ(host_.messages, Confirmation());
}

TEST_F(GenerateManifestTest, Utf16ManifestKeepsItsByteOrderMarkAndOthersGetNone) {
  struct EncodingCase {
    const char* name;
    std::string written;
    std::string expected;
  };
  const std::string utf16 = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
  const std::string utf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  const std::string narrow = "<?xml version=\"1.0\"?>";
  const EncodingCase cases[] = {
      {"UTF-16 with a mark", kUtf16Bom + Utf16LittleEndian(CompactManifest(utf16, kDescription)),
       kUtf16Bom + Utf16LittleEndian(PrettyManifest(utf16, kDescription))},
      {"UTF-8 with a mark", kUtf8Bom + CompactManifest(utf8, kDescription),
       PrettyManifest(utf8, kDescription)},
      {"UTF-8 without a mark", CompactManifest(utf8, kDescription),
       PrettyManifest(utf8, kDescription)},
      {"narrow", CompactManifest(narrow, "Rejilla"), PrettyManifest(narrow, "Rejilla")},
  };
  for (const EncodingCase& c : cases) {
    SCOPED_TRACE(c.name);
    host_.messages.clear();
    GeneratorWrites(c.written);
    actions_.OnBtnMainClick(BtnGenerate);
    EXPECT_EQ(ReadBytes(manifest_), c.expected);
    EXPECT_EQ(host_.messages, Confirmation());
  }
}

TEST_F(GenerateManifestTest, GeneratorGetsAFreshReportShownBelowTheMessageAndThenRemoved) {
  const fs::path report = folder_ / fs::path(u"informe \u00f1.tmp");
  host_.temporaryFile = report.u16string();
  const std::string declaration = "<?xml version=\"1.0\"?>";
  const std::string leftOut =
      "regsvr42: left out Mi Rejilla.ocx: class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B} "
      "(Mi.Rejilla.1): the component does not serve it (0x80040111)\r\n";
  const std::string wrote = "regsvr42: wrote Mi Rejilla.sxs.manifest\r\n";
  const std::u16string omitted =
      u"Clases omitidas (el componente no las sirve): {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B} "
      u"(Mi.Rejilla.1)";
  const std::u16string failure13 =
      u"El generador termin\u00f3 con el c\u00f3digo 13: el manifiesto no cargar\u00eda en "
      u"Windows, o una clase no super\u00f3 la prueba sin registro";
  struct Case {
    const char* name;
    std::uint32_t exitCode;
    std::optional<std::string> written;  // none: the generator removes the report
    Message expected;
  };
  const Case cases[] = {
      {"left-out class",
       0,
       leftOut + wrote,
       {u"SxS Generado\n\n" + omitted + u"\nregsvr42: wrote Mi Rejilla.sxs.manifest",
        MessageIcon::Information}},
      {"failed check",
       13,
       "regsvr42: self-check: class {X}: CoCreateInstance failed\r\n",
       {failure13 + u"\n\nregsvr42: self-check: class {X}: CoCreateInstance failed",
        MessageIcon::Error}},
      {"empty report", 0, "", {u"SxS Generado", MessageIcon::Information}},
      {"no report", 0, std::nullopt, {u"SxS Generado", MessageIcon::Information}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.messages.clear();
    host_.exitCode = c.exitCode;
    bool freshAtLaunch = false;
    host_.whileLaunched = [&] {
      freshAtLaunch = fs::exists(report) && fs::file_size(report) == 0;
      ReplaceBytes(manifest_, CompactManifest(declaration, "x"));
      if (c.written) {
        WriteBytes(report, *c.written);
      } else {
        fs::remove(report);
      }
    };
    actions_.OnBtnMainClick(BtnGenerate);

    EXPECT_TRUE(freshAtLaunch);
    EXPECT_EQ(host_.launches.back().parameters,
              u"-report:\"" + report.u16string() + u"\" \"" + component_.u16string() + u"\"");
    EXPECT_EQ(host_.messages, std::vector<Message>{c.expected});
    EXPECT_FALSE(fs::exists(report));
  }
  EXPECT_EQ(host_.temporaryFilesMade, 4);
}

}  // namespace
}  // namespace kestrelwing
