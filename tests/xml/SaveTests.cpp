// cXml::Save on the real file system: encodings and marks, the encoding carried from save to
// save, refusals, and failures that must leave the old file as it was.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <kestrelwing/cXml.h>

#include "NodeBuilders.h"
#include "WriterTestSupport.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace kestrelwing {
namespace {

namespace fs = std::filesystem;
using testing::FolderEntries;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Text within Latin-1, encoded here by hand so that the expectations do not come from the code
// under test.
std::string Latin1As(std::u16string_view text, std::int32_t encodingId) {
  std::string bytes;
  for (char16_t unit : text) {
    const auto c = static_cast<unsigned char>(unit);
    if (encodingId == 1 && c >= 0x80) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (encodingId == 2) {
      bytes += static_cast<char>(c);
      bytes += '\0';
    } else {
      bytes += static_cast<char>(c);
    }
  }
  return bytes;
}

std::string Mark(std::int32_t encodingId) {
  return encodingId == 1 ? "\xEF\xBB\xBF" : encodingId == 2 ? std::string("\xFF\xFE", 2) : "";
}

// <r a="é">ü &amp; ö</r>, with a declaration of the given properties when asked.
std::unique_ptr<cXml> SmallDocument(
    std::vector<std::pair<std::u16string, std::u16string>> declaration = {},
    bool withDeclaration = false) {
  auto document = std::make_unique<cXml>();
  document->SetRootName(u"r");
  document->SetPropertyValue(u"a", u"\u00E9");
  document->SetRootValue(u"\u00FC & \u00F6");
  if (withDeclaration) {
    NodeRef node = MakeNode();
    node->SetName(u"xml");
    for (const auto& [name, value] : declaration)
      node->SetPropertyValue(name, value);
    document->SetXMLNode(node);
  }
  return document;
}

const std::u16string kSmallRoot = u"<r a=\"\u00E9\">\u00FC &amp; \u00F6</r>\r\n";

TEST(SaveTest, EveryEncodingWithAndWithoutMarkAndDeclaration) {
  TempFolder folder;
  for (std::int32_t encoding : {-1, 0, 1, 2}) {
    for (bool bom : {false, true}) {
      for (bool withDeclaration : {false, true}) {
        SCOPED_TRACE("encoding " + std::to_string(encoding) + (bom ? ", mark" : ", no mark") +
                     (withDeclaration ? ", declaration" : ", no declaration"));
        auto document = SmallDocument({{u"version", u"1.0"}}, withDeclaration);
        const auto file = folder / "out.xml";
        ASSERT_TRUE(document->Save(file.u16string(), true, 1, bom, encoding))
            << ToUtf8(document->Result());

        // A new document is narrow until told otherwise.
        const std::int32_t written = encoding == -1 ? 0 : encoding;
        std::u16string text = kSmallRoot;
        if (withDeclaration) {
          text.insert(0, written == 1   ? u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                         : written == 2 ? u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
                                        : u"<?xml version=\"1.0\"?>\r\n");
        }
        EXPECT_EQ(ReadBytes(file), (bom ? Mark(written) : "") + Latin1As(text, written));
        EXPECT_EQ(document->EncodingId(), written);
        EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::u16string>{u"out.xml"});
      }
    }
  }
}

TEST(SaveTest, DeclarationDecidesTheEncodingOfANarrowDocument) {
  TempFolder folder;
  const auto file = folder / "out.xml";
  struct Case {
    std::u16string named;
    std::int32_t encoding;  // the Save argument
    std::int32_t written;
    std::u16string namedAfter;
  };
  const std::vector<Case> cases = {
      {u"utf-8", -1, 1, u"utf-8"},           {u"utf-8", 0, 1, u"utf-8"},
      {u"UTF 16", -1, 2, u"UTF 16"},         {u"UTF 16", 0, 2, u"UTF 16"},
      {u"ISO-8859-1", -1, 0, u"ISO-8859-1"}, {u"ISO-8859-1", 0, 0, u"ISO-8859-1"},
      {u"ISO-8859-1", 1, 1, u"UTF-8"},       {u"utf-8", 2, 2, u"UTF-16"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(ToUtf8(test.named) + " with encoding " + std::to_string(test.encoding));
    auto document = SmallDocument({{u"version", u"1.0"}, {u"encoding", test.named}}, true);
    ASSERT_TRUE(document->Save(file.u16string(), false, 1, false, test.encoding));
    EXPECT_EQ(document->EncodingId(), test.written);
    EXPECT_EQ(document->XMLNode()->PropertyValue(u"encoding"), test.namedAfter);
    const std::u16string text = u"<?xml version=\"1.0\" encoding=\"" + test.namedAfter + u"\"?>" +
                                kSmallRoot.substr(0, kSmallRoot.size() - 2);
    EXPECT_EQ(ReadBytes(file), Latin1As(text, test.written));
  }
}

TEST(SaveTest, EncodingIsCarriedFromOneSaveToTheNext) {
  TempFolder folder;
  auto document = SmallDocument();
  const auto save = [&](const char* name, std::int32_t encoding) {
    EXPECT_TRUE(document->Save((folder / name).u16string(), false, 1, true, encoding));
    return ReadBytes(folder / name);
  };
  const std::u16string text = kSmallRoot.substr(0, kSmallRoot.size() - 2);
  EXPECT_EQ(save("a.xml", 2), Mark(2) + Latin1As(text, 2));
  EXPECT_EQ(save("b.xml", -1), Mark(2) + Latin1As(text, 2));
  EXPECT_EQ(save("c.xml", 0), Latin1As(text, 0));
  EXPECT_EQ(save("d.xml", -1), Latin1As(text, 0));
  EXPECT_EQ(save("e.xml", 1), Mark(1) + Latin1As(text, 1));
  EXPECT_EQ(save("f.xml", -1), Mark(1) + Latin1As(text, 1));

  // A document read as UTF-16 is written back as UTF-16, declaration and all.
  cXml parsed;
  const std::string utf16 = Mark(2) + Latin1As(u"<?xml version=\"1.0\"?><a>\u00E9</a>", 2);
  ASSERT_TRUE(
      parsed.Parse(std::span(reinterpret_cast<const std::uint8_t*>(utf16.data()), utf16.size())))
      << ToUtf8(parsed.Result());
  ASSERT_EQ(parsed.EncodingId(), 2);
  ASSERT_TRUE(parsed.Save((folder / "g.xml").u16string(), false, 1, true));
  EXPECT_EQ(ReadBytes(folder / "g.xml"),
            Mark(2) + Latin1As(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>\u00E9</a>", 2));
}

TEST(SaveTest, UnknownEncodingIsRefusedAndTouchesNothing) {
  TempFolder folder;
  const auto existing = folder / "existing.xml";
  WriteBytes(existing, "old content");
  auto document = SmallDocument({{u"version", u"1.0"}}, true);
  ASSERT_TRUE(document->Save((folder / "utf16.xml").u16string(), true, 1, false, 2));
  for (std::int32_t encoding : {3, -2, 65001, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(encoding);
    EXPECT_FALSE(document->Save(existing.u16string(), true, 1, false, encoding));
    EXPECT_NE(ToUtf8(document->Result()).find(std::to_string(encoding)), std::string::npos)
        << ToUtf8(document->Result());
    EXPECT_EQ(document->EncodingId(), 2);
    EXPECT_FALSE(document->Save((folder / "new.xml").u16string(), true, 1, false, encoding));
  }
  EXPECT_EQ(ReadBytes(existing), "old content");
  EXPECT_EQ(document->XMLNode()->PropertyValue(u"encoding"), u"UTF-16");
  EXPECT_EQ(FolderEntries(folder.path()),
            (std::vector<std::u16string>{u"existing.xml", u"utf16.xml"}));
}

TEST(SaveTest, ReplacesAnExistingFileWithExactlyTheNewDocument) {
  TempFolder folder;
  const auto file = folder / "doc.xml";
  WriteBytes(file, std::string(10000, 'x'));
#ifndef _WIN32
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
  auto document = SmallDocument();
  ASSERT_TRUE(document->Save(file.u16string(), false, 1, false, 1));
  EXPECT_EQ(ReadBytes(file), Latin1As(kSmallRoot.substr(0, kSmallRoot.size() - 2), 1));
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::u16string>{u"doc.xml"});
#ifndef _WIN32
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
}

TEST(SaveTest, MissingFolderAndFolderTargetFailWithoutTouchingAnything) {
  TempFolder folder;
  auto document = SmallDocument();
  EXPECT_FALSE(document->Save((folder / "missing" / "doc.xml").u16string()));
  const std::string missingResult = ToUtf8(document->Result());
  EXPECT_FALSE(missingResult.empty());
  EXPECT_EQ(missingResult.find('\n'), std::string::npos) << missingResult;
  EXPECT_TRUE(FolderEntries(folder.path()).empty());

  const auto target = folder / "target";
  fs::create_directory(target);
  WriteBytes(target / "inside.txt", "kept");
  EXPECT_FALSE(document->Save(target.u16string()));
  EXPECT_FALSE(document->Result().empty());
  EXPECT_NE(ToUtf8(document->Result()), missingResult);
  EXPECT_TRUE(fs::is_directory(target));
  EXPECT_EQ(ReadBytes(target / "inside.txt"), "kept");
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::u16string>{u"target"});

  // A later successful save leaves the description of the failure in place.
  const std::u16string failure = document->Result();
  EXPECT_TRUE(document->Save((folder / "ok.xml").u16string()));
  EXPECT_EQ(document->Result(), failure);
}

TEST(SaveTest, NodeBelowItselfFailsTheSaveAndKeepsTheOldFile) {
  TempFolder folder;
  const auto file = folder / "doc.xml";
  WriteBytes(file, "<old/>");
  cXml document;
  NodeRef loop = MakeNode();
  loop->SetName(u"loop");
  document.Add(loop);
  loop->Add(loop);
  EXPECT_FALSE(document.Save(file.u16string()));
  EXPECT_NE(ToUtf8(document.Result()).find("itself"), std::string::npos)
      << ToUtf8(document.Result());
  EXPECT_EQ(ReadBytes(file), "<old/>");
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::u16string>{u"doc.xml"});
  loop->Clear();
}

TEST(SaveTest, MillionLevelsDeepIsWrittenWhole) {
  TempFolder folder;
  cXml document;
  document.SetRootName(u"d");
  NodeRef deepest = document.Root();
  for (int i = 1; i < 1'000'000; ++i) {
    NodeRef child = MakeNode();
    child->SetName(u"d");
    deepest->Add(child);
    deepest = child;
  }
  const auto file = folder / "deep.xml";
  ASSERT_TRUE(document.Save(file.u16string(), false, 0, false, 1)) << ToUtf8(document.Result());
  deepest.reset();
  const std::string bytes = ReadBytes(file);
  ASSERT_EQ(bytes.size(), 7'000'000u - 3);  // the deepest element is "<d/>"
  EXPECT_EQ(bytes.substr(3'000'000 - 6, 10), "<d><d/></d");
  EXPECT_EQ(bytes.substr(bytes.size() - 4), "</d>");
}

TEST(SaveTest, WidePathsAreWrittenAndReplaced) {
  TempFolder folder;
  const fs::path file = folder.path() / fs::path(u"\u00FC\u20AC\u65E5\u672C.xml");
  auto document = SmallDocument();
  ASSERT_TRUE(document->Save(file.u16string(), false, 1, false, 1)) << ToUtf8(document->Result());
  EXPECT_EQ(ReadBytes(file), Latin1As(kSmallRoot.substr(0, kSmallRoot.size() - 2), 1));
  document->SetRootValue(u"second");
  ASSERT_TRUE(document->Save(file.u16string(), false, 1, false, 1)) << ToUtf8(document->Result());
  EXPECT_EQ(ReadBytes(file), "<r a=\"\xC3\xA9\">second</r>");
  EXPECT_EQ(FolderEntries(folder.path()),
            std::vector<std::u16string>{u"\u00FC\u20AC\u65E5\u672C.xml"});
}

#ifdef _WIN32

// Windows does not let a read-only file be replaced.
TEST(SaveTest, ReadOnlyTargetFailsAndKeepsTheOldFile) {
  TempFolder folder;
  const auto file = folder / "doc.xml";
  WriteBytes(file, "<old/>");
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  auto document = SmallDocument();
  EXPECT_FALSE(document->Save(file.u16string()));
  EXPECT_FALSE(document->Result().empty());
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(ReadBytes(file), "<old/>");
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::u16string>{u"doc.xml"});
}

#else

// Runs a save in a child process, set up by prepare (which answers false when it cannot do its
// part), and hands back what the child saw.
struct ChildSave {
  int exitCode = -1;   // 0: the save answered false; 1: it answered true; 3: no set-up
  std::string result;  // the document's Result() in the child
};

template <typename Prepare>
ChildSave SaveInChild(cXml& document, const fs::path& file, Prepare prepare) {
  int channel[2];
  if (pipe(channel) != 0) return {};
  const pid_t child = fork();
  if (child == -1) return {};
  if (child == 0) {
    close(channel[0]);
    if (!prepare()) _exit(3);
    const bool saved = document.Save(file.u16string());
    const std::string result = ToUtf8(document.Result());
    const bool sent = write(channel[1], result.data(), result.size()) >= 0;
    _exit(saved ? 1 : sent ? 0 : 2);
  }
  close(channel[1]);
  ChildSave outcome;
  char buffer[256];
  for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;) {
    outcome.result.append(buffer, static_cast<std::size_t>(n));
  }
  close(channel[0]);
  int status = 0;
  if (waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    outcome.exitCode = WEXITSTATUS(status);
  }
  return outcome;
}

void ExpectFailedInChild(const ChildSave& outcome) {
  EXPECT_EQ(outcome.exitCode, 0) << "1: the save answered true; 3: the child could not set up; "
                                    "-1: the child died";
  EXPECT_FALSE(outcome.result.empty());
  EXPECT_EQ(outcome.result.find('\n'), std::string::npos) << outcome.result;
}

// Root may write into any folder, so as root the save runs as the unprivileged user "nobody".
TEST(SaveTest, ReadOnlyFolderFailsAndKeepsTheOldFile) {
  TempFolder folder;
  const auto file = folder / "doc.xml";
  WriteBytes(file, "<old/>");
  fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  auto document = SmallDocument();
  const bool asRoot = geteuid() == 0;
  const ChildSave outcome = SaveInChild(*document, file, [asRoot] {
    constexpr uid_t kNobody = 65534;
    return !asRoot || (setgid(kNobody) == 0 && setuid(kNobody) == 0);
  });
  ExpectFailedInChild(outcome);
  EXPECT_NE(outcome.result.find("ermission"), std::string::npos) << outcome.result;
  fs::permissions(folder.path(), fs::perms::owner_all);
  EXPECT_EQ(ReadBytes(file), "<old/>");
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::u16string>{u"doc.xml"});
}

// The disk fills up halfway: the child may write only 64 KiB per file, and the signal that would
// kill it for trying more is ignored, so the write itself fails.
TEST(SaveTest, FullDiskFailsTheSaveAndKeepsTheOldFile) {
  TempFolder folder;
  const auto file = folder / "doc.xml";
  const std::string old = "<old>" + std::string(1000, 'o') + "</old>";
  WriteBytes(file, old);
  cXml document;
  document.SetRootName(u"big");
  for (int i = 0; i < 20000; ++i) {
    NodeRef child = MakeNode();
    child->SetName(u"item");
    child->SetValue(u"a line of text that fills the disk");
    document.Add(child);
  }
  const ChildSave outcome = SaveInChild(document, file, [] {
    const rlimit limit{64 * 1024, 64 * 1024};
    std::signal(SIGXFSZ, SIG_IGN);
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
  });
  ExpectFailedInChild(outcome);
  EXPECT_EQ(ReadBytes(file), old);
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::u16string>{u"doc.xml"});
}

#endif

// SaveToBytes writes exactly what Save writes to a file, with every option, and settles
// EncodingId() the same way.
TEST(SaveToBytesTest, WritesWhatSaveWritesWithEveryOption) {
  TempFolder folder;
  const auto file = folder / "out.xml";
  for (bool pretty : {false, true}) {
    for (std::int32_t identType : {0, 1}) {
      for (bool bom : {false, true}) {
        for (std::int32_t encoding : {-1, 0, 1, 2}) {
          SCOPED_TRACE(::testing::Message() << "pretty " << pretty << ", identType " << identType
                                            << ", mark " << bom << ", encoding " << encoding);
          std::unique_ptr<cXml> documents[] = {SmallDocument({{u"version", u"1.0"}}, true),
                                               SmallDocument({{u"version", u"1.0"}}, true)};
          for (const auto& document : documents) {
            document->Add(testing::NamedNode(u"child"));
            document->Node(1)->SetValue(u"\u00E9 & \u20AC");
          }
          ASSERT_TRUE(documents[0]->Save(file.u16string(), pretty, identType, bom, encoding));
          std::vector<std::uint8_t> bytes{'x'};  // replaced, not appended to
          ASSERT_TRUE(documents[1]->SaveToBytes(bytes, pretty, identType, bom, encoding))
              << ToUtf8(documents[1]->Result());
          EXPECT_EQ(std::string(bytes.begin(), bytes.end()), ReadBytes(file));
          EXPECT_EQ(documents[1]->EncodingId(), documents[0]->EncodingId());
          if (documents[1]->EncodingId() == 2 && !bom) continue;  // UTF-16 is known by its mark
          cXml reread;
          ASSERT_TRUE(reread.Parse(std::span<const std::uint8_t>(bytes)))
              << ToUtf8(reread.Result());
          EXPECT_EQ(reread.Node(1)->Value(), u"\u00E9 & \u20AC");
        }
      }
    }
  }
}

// The document's syntax chooses the escaping, and its prolog and epilog are written around the
// root, to a file and into bytes alike; a failed Parse leaves neither.
TEST(SaveTest, SyntaxPrologAndEpilogOfTheDocumentAreWritten) {
  TempFolder folder;
  const auto file = folder / "out.xml";
  cXml document;
  document.SetRootName(u"r");
  document.SetPropertyValue(u"a", u"1\t2 &#38;");
  NodeRef comment = MakeNode(KindComment);
  comment->SetValue(u" before ");
  NodeRef instruction = MakeNode(KindProcessingInstruction);
  instruction->SetName(u"after");
  document.SetProlog({comment});
  document.SetEpilog({instruction});
  const struct {
    XmlSyntax syntax;
    bool pretty;
    std::string expected;
  } cases[] = {
      {XmlSyntax::Dialect, false, "<!-- before --><r a=\"1\t2 &#38;\"/><?after?>"},
      {XmlSyntax::Xml10, false, "<!-- before --><r a=\"1&#9;2 &amp;#38;\"/><?after?>"},
      {XmlSyntax::Xml10, true, "<!-- before -->\r\n<r a=\"1&#9;2 &amp;#38;\"/>\r\n<?after?>\r\n"},
  };
  for (const auto& c : cases) {
    document.SetSyntax(c.syntax);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(document.SaveToBytes(bytes, c.pretty, 1, false, 1));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.expected);
    ASSERT_TRUE(document.Save(file.u16string(), c.pretty, 1, false, 1));
    EXPECT_EQ(ReadBytes(file), c.expected);
  }
  EXPECT_FALSE(document.Parse(u"<r><unclosed></r>"));
  EXPECT_TRUE(document.Prolog().empty());
  EXPECT_TRUE(document.Epilog().empty());
  EXPECT_EQ(document.Syntax(), XmlSyntax::Xml10) << "the syntax is the caller's choice";
}

// A save that fails, to a file or into bytes, leaves EncodingId() as it was and says why.
TEST(SaveFailureTest, KeepsTheEncodingIdOfTheDocument) {
  TempFolder folder;
  fs::create_directory(folder / "target");
  std::vector<std::uint8_t> bytes;
  const auto cycle = [](cXml& document) {
    NodeRef loop = testing::NamedNode(u"loop");
    document.Add(loop);
    loop->Add(loop);
    return loop;
  };
  struct Case {
    const char* what;
    std::function<bool(cXml&)> save;
  };
  const Case cases[] = {
      {"missing folder",
       [&](cXml& d) {
         return d.Save((folder / "missing" / "doc.xml").u16string(), true, 1, false, 2);
       }},
      {"folder target",
       [&](cXml& d) { return d.Save((folder / "target").u16string(), true, 1, true, 1); }},
      {"node below itself, file",
       [&](cXml& d) {
         const NodeRef loop = cycle(d);
         const bool saved = d.Save((folder / "doc.xml").u16string(), true, 1, false, 2);
         loop->Clear();
         return saved;
       }},
      {"node below itself, bytes",
       [&](cXml& d) {
         const NodeRef loop = cycle(d);
         const bool saved = d.SaveToBytes(bytes, true, 1, false, 1);
         loop->Clear();
         return saved;
       }},
      {"unknown encoding, bytes", [&](cXml& d) { return d.SaveToBytes(bytes, true, 1, false, 7); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cXml document;
    ASSERT_EQ(document.EncodingId(), 0);
    EXPECT_FALSE(c.save(document));
    EXPECT_EQ(document.EncodingId(), 0);
    EXPECT_FALSE(document.Result().empty());
    EXPECT_TRUE(bytes.empty());
  }
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::u16string>{u"target"});
}

}  // namespace
}  // namespace kestrelwing
