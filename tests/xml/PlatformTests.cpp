// The platform layer against the real file system and a real HTTP server on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Edge.h"
#include "LoopbackHttpServer.h"
#include "TempFolder.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace kestrelwing::platform {
namespace {

namespace fs = std::filesystem;

// Files -----------------------------------------------------------------------------------------

using testing::TempFolder;

void WriteFile(const fs::path& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << path;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string AsString(const std::optional<std::vector<std::uint8_t>>& bytes) {
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>";
}

std::string Narrow(std::u16string_view text) {
  std::string out;
  AppendTextAsNarrow(out, text);
  return out;
}

// Bytes of every value, a NUL among them, and more than one read's worth.
std::string SampleBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

constexpr std::u16string_view kNonAsciiName = u"ü€日本.xml";

TEST(PlatformFiles, ReadsWholeFilesWithNonAsciiNames) {
  TempFolder folder;
  const std::string content = SampleBytes(3 << 20);
  WriteFile(folder / kNonAsciiName, content);
  const std::u16string path = (folder / kNonAsciiName).u16string();
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(AsString(ReadWholeFile(path)) == content);  // not printed: 3 MiB

  WriteFile(folder / u"empty.xml", "");
  const auto empty = ReadWholeFile((folder / u"empty.xml").u16string());
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST(PlatformFiles, FoldersExistButCannotBeRead) {
  TempFolder folder;
  fs::create_directory(folder / u"sub ü");
  const std::u16string path = (folder / u"sub ü").u16string();
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(ReadWholeFile(path).has_value());
}

TEST(PlatformFiles, MissingAndMalformedPathsAreNeitherFoundNorRead) {
  TempFolder folder;
  WriteFile(folder / u"real.xml", "<a/>");
  const std::u16string real = (folder / u"real.xml").u16string();
  // A NUL inside the path must not cut it short to the name of the file that exists.
  const std::u16string cut = real + std::u16string(1, u'\0') + u"more";
  for (const std::u16string& path :
       {(folder / u"missing.xml").u16string(), (folder / u"no" / u"such.xml").u16string(), cut,
        std::u16string()}) {
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(ReadWholeFile(path).has_value());
  }
}

#ifndef _WIN32
TEST(PlatformFiles, APipeIsNotReadAndDoesNotBlock) {
  TempFolder folder;
  const fs::path pipe = folder / u"pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_TRUE(FileExists(pipe.u16string()));
  EXPECT_FALSE(ReadWholeFile(pipe.u16string()).has_value());
}
#endif

// Reporting errors ------------------------------------------------------------------------------

std::vector<std::u16string> reported;
void Record(std::u16string_view message) {
  reported.emplace_back(message);
}

TEST(PlatformReportError, GoesToTheInstalledReporter) {
  reported.clear();
  const ErrorReporter previous = SetErrorReporter(Record);
  ReportError(u"URL ERROR");
  ReportError(u"second");
  EXPECT_EQ(SetErrorReporter(previous), &Record);
  EXPECT_EQ(reported, (std::vector<std::u16string>{u"URL ERROR", u"second"}));
}

#ifndef _WIN32
TEST(PlatformReportError, WritesOneLineToStandardErrorByDefault) {
  ::testing::internal::CaptureStderr();
  ReportError(u"URL ERROR é\nsecond part");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "URL ERROR \xC3\xA9 second part\n");
}
#endif

// SafeFileWriter --------------------------------------------------------------------------------

TEST(SafeFileWriter, CreatesANewFileHoldingExactlyTheBytesWritten) {
  TempFolder folder;
  const std::string big = SampleBytes(1 << 20);
  SafeFileWriter writer;
  ASSERT_TRUE(writer.Open((folder / kNonAsciiName).u16string())) << Narrow(writer.Error());
  ASSERT_TRUE(writer.Write("<?xml?>"));
  ASSERT_TRUE(writer.Write(""));
  ASSERT_TRUE(writer.Write(big));
  ASSERT_TRUE(writer.Commit()) << Narrow(writer.Error());
  EXPECT_TRUE(ReadFile(folder / kNonAsciiName) == "<?xml?>" + big);  // not printed: 1 MiB
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{std::u16string(kNonAsciiName)});
}

TEST(SafeFileWriter, ReplacesALongerFileWholeAndOnlyOnCommit) {
  TempFolder folder;
  const fs::path target = folder / u"doc.xml";
  WriteFile(target, SampleBytes(10000));
  SafeFileWriter writer;
  ASSERT_TRUE(writer.Open(target.u16string()));
  ASSERT_TRUE(writer.Write("new"));
  EXPECT_EQ(ReadFile(target), SampleBytes(10000)) << "replaced before Commit";
  ASSERT_TRUE(writer.Commit()) << Narrow(writer.Error());
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{u"doc.xml"});
  // A writer serves again after a commit.
  ASSERT_TRUE(writer.Open(target.u16string()));
  ASSERT_TRUE(writer.Write("again"));
  ASSERT_TRUE(writer.Commit());
  EXPECT_EQ(ReadFile(target), "again");
}

TEST(SafeFileWriter, WritersOfOneTargetUseSeparateHiddenFiles) {
  TempFolder folder;
  const fs::path target = folder / u"doc.xml";
  SafeFileWriter first;
  SafeFileWriter second;
  ASSERT_TRUE(first.Open(target.u16string()));
  ASSERT_TRUE(second.Open(target.u16string())) << Narrow(second.Error());
  const std::vector<std::u16string> pending = folder.Entries();
  ASSERT_EQ(pending.size(), 2u);
  for (const std::u16string& name : pending) {
    EXPECT_TRUE(name.starts_with(u".doc.xml.") && name.ends_with(u".tmp")) << Narrow(name);
  }
  ASSERT_TRUE(first.Write("first"));
  ASSERT_TRUE(second.Write("second"));
  ASSERT_TRUE(first.Commit());
  ASSERT_TRUE(second.Commit());
  EXPECT_EQ(ReadFile(target), "second");
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{u"doc.xml"});
}

TEST(SafeFileWriter, AnUncommittedFileIsThrownAwayAndTheOldOneStays) {
  TempFolder folder;
  const fs::path target = folder / u"doc.xml";
  WriteFile(target, "old");
  {
    SafeFileWriter destroyed;
    ASSERT_TRUE(destroyed.Open(target.u16string()));
    ASSERT_TRUE(destroyed.Write("partial"));
  }
  SafeFileWriter abandoned;
  ASSERT_TRUE(abandoned.Open(target.u16string()));
  ASSERT_TRUE(abandoned.Write("partial"));
  abandoned.Abandon();
  EXPECT_FALSE(abandoned.Write("more"));
  EXPECT_FALSE(abandoned.Commit());
  EXPECT_FALSE(abandoned.Error().empty());
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{u"doc.xml"});
}

TEST(SafeFileWriter, SeveralFilesAreReplacedAllTogetherOrNotAtAll) {
  TempFolder folder;
  const fs::path first = folder / u"a.manifest";
  const fs::path second = folder / u"b.exe.manifest";
  WriteFile(first, "old a");
  WriteFile(second, "old b");
  const std::vector<std::u16string> names{u"a.manifest", u"b.exe.manifest"};
  std::u16string error;
  {
    // The last one cannot be finished (it was never opened): neither of the others is put in
    // place, and their new files are gone.
    SafeFileWriter a, b, broken;
    ASSERT_TRUE(a.Open(first.u16string()) && a.Write("new a"));
    ASSERT_TRUE(b.Open(second.u16string()) && b.Write("new b"));
    SafeFileWriter* const files[] = {&a, &b, &broken};
    EXPECT_FALSE(CommitAll(files, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(first), "old a");
    EXPECT_EQ(ReadFile(second), "old b");
    EXPECT_EQ(folder.Entries(), names);
  }
  SafeFileWriter a, b;
  ASSERT_TRUE(a.Open(first.u16string()) && a.Write("new a"));
  ASSERT_TRUE(b.Open(second.u16string()) && b.Write("new b"));
  SafeFileWriter* const files[] = {&a, &b};
  EXPECT_TRUE(CommitAll(files, error));
  EXPECT_EQ(ReadFile(first), "new a");
  EXPECT_EQ(ReadFile(second), "new b");
  EXPECT_EQ(folder.Entries(), names);
  EXPECT_FALSE(a.Replace()) << "a file is put in place once";
}

TEST(FileBatch, PutsEveryFileInPlaceOrNoneWhenOneCannotBeWritten) {
  TempFolder folder;
  const fs::path first = folder / u"a.manifest";
  const fs::path second = folder / u"b.exe.manifest";
  WriteFile(first, "old a");
  {
    FileBatch batch;
    ASSERT_TRUE(batch.Add(first.u16string(), "new a"));
    EXPECT_FALSE(batch.Add((folder / u"missing" / u"b.exe.manifest").u16string(), "new b"));
    EXPECT_FALSE(batch.Error().empty());
  }  // never committed: the new file goes
  EXPECT_EQ(ReadFile(first), "old a");
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{u"a.manifest"});

  FileBatch batch;
  ASSERT_TRUE(batch.Add(first.u16string(), "new a"));
  ASSERT_TRUE(batch.Add(second.u16string(), "new b"));
  EXPECT_EQ(ReadFile(first), "old a") << "replaced before Commit";
  ASSERT_TRUE(batch.Commit()) << Narrow(batch.Error());
  EXPECT_EQ(ReadFile(first), "new a");
  EXPECT_EQ(ReadFile(second), "new b");
  EXPECT_EQ(folder.Entries(), (std::vector<std::u16string>{u"a.manifest", u"b.exe.manifest"}));
}

TEST(SafeFileWriter, RefusesTargetsItCannotCreate) {
  TempFolder folder;
  fs::create_directory(folder / u"sub");
  WriteFile(folder / u"sub" / u"inside.txt", "kept");
  const fs::path missing = folder / u"missing" / u"doc.xml";
  const std::u16string withNul = (folder / u"doc.xml").u16string() + u'\0' + u"x";
  for (const std::u16string& path :
       {(folder / u"sub").u16string(), missing.u16string(), withNul, std::u16string()}) {
    SafeFileWriter writer;
    EXPECT_FALSE(writer.Open(path));
    EXPECT_FALSE(writer.Error().empty());
    EXPECT_EQ(writer.Error().find(u'\n'), std::u16string::npos);
    EXPECT_FALSE(writer.Write("x"));
    EXPECT_FALSE(writer.Commit());
  }
  EXPECT_TRUE(fs::is_directory(folder / u"sub"));
  EXPECT_EQ(ReadFile(folder / u"sub" / u"inside.txt"), "kept");
  EXPECT_FALSE(fs::exists(folder / u"missing"));
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{u"sub"});
}

TEST(SafeFileWriter, AFailedReplacementRemovesTheNewFile) {
  TempFolder folder;
  const fs::path target = folder / u"doc.xml";
  WriteFile(target, "old");
  SafeFileWriter writer;
  ASSERT_TRUE(writer.Open(target.u16string()));
  ASSERT_TRUE(writer.Write("new"));
  // Between Open and Commit the target turns into a folder that is not empty: the
  // replacement must fail and leave the folder as it is.
  fs::remove(target);
  fs::create_directory(target);
  WriteFile(target / u"inside.txt", "kept");
  EXPECT_FALSE(writer.Commit());
  EXPECT_NE(writer.Error().find(u"doc.xml"), std::u16string::npos) << Narrow(writer.Error());
  EXPECT_EQ(ReadFile(target / u"inside.txt"), "kept");
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{u"doc.xml"});
}

#ifndef _WIN32
mode_t ModeOf(const fs::path& path) {
  struct stat status;
  EXPECT_EQ(::stat(path.c_str(), &status), 0);
  return status.st_mode & 07777;
}

TEST(SafeFileWriter, KeepsTheModeOfAReplacedFileAndGivesNewFilesTheUsualOne) {
  TempFolder folder;
  const fs::path target = folder / u"doc.xml";
  for (const mode_t mode : {mode_t{0640}, mode_t{0604}, mode_t{0755}, mode_t{0600}}) {
    WriteFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), mode), 0);
    SafeFileWriter writer;
    ASSERT_TRUE(writer.Open(target.u16string()));
    ASSERT_TRUE(writer.Write("new"));
    ASSERT_TRUE(writer.Commit());
    EXPECT_EQ(ModeOf(target), mode);
  }
  const mode_t mask = ::umask(027);
  SafeFileWriter writer;
  const bool opened = writer.Open((folder / u"new.xml").u16string());
  ::umask(mask);
  ASSERT_TRUE(opened);
  ASSERT_TRUE(writer.Commit());
  EXPECT_EQ(ModeOf(folder / u"new.xml"), mode_t{0640});
}

TEST(SafeFileWriter, ReplacesTheFileALinkPointsToAndKeepsTheLink) {
  TempFolder folder;
  WriteFile(folder / u"real.xml", "old");
  fs::create_symlink("real.xml", folder / u"link.xml");
  SafeFileWriter writer;
  ASSERT_TRUE(writer.Open((folder / u"link.xml").u16string()));
  ASSERT_TRUE(writer.Write("new"));
  ASSERT_TRUE(writer.Commit()) << Narrow(writer.Error());
  EXPECT_TRUE(fs::is_symlink(folder / u"link.xml"));
  EXPECT_EQ(ReadFile(folder / u"real.xml"), "new");
}

// Root ignores permissions: then the writer runs in a child process as "nobody".
TEST(SafeFileWriter, RespectsAReadOnlyFolderAndAReadOnlyFile) {
  TempFolder folder;
  fs::create_directory(folder / u"locked");
  const fs::path inLockedFolder = folder / u"locked" / u"doc.xml";
  const fs::path readOnlyFile = folder / u"readonly.xml";
  WriteFile(inLockedFolder, "old");
  WriteFile(readOnlyFile, "old");
  const bool root = ::geteuid() == 0;
  const uid_t nobody = 65534;
  if (root) {
    for (const fs::path& path : {folder.path(), folder / u"locked", inLockedFolder, readOnlyFile}) {
      ASSERT_EQ(::chown(path.c_str(), nobody, nobody), 0);
    }
  }
  fs::permissions(folder / u"locked", fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(readOnlyFile, fs::perms::owner_read);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ::_exit(20);
    int exitCode = 0;
    for (const fs::path& target : {inLockedFolder, readOnlyFile}) {
      SafeFileWriter writer;
      if (writer.Open(target.u16string())) exitCode = 21;
      if (writer.Error().find(target.filename().u16string()) == std::u16string::npos) exitCode = 22;
    }
    ::_exit(exitCode);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  fs::permissions(folder / u"locked", fs::perms::owner_all);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(inLockedFolder), "old");
  EXPECT_EQ(ReadFile(readOnlyFile), "old");
  EXPECT_EQ(folder.Entries(), (std::vector<std::u16string>{u"locked", u"readonly.xml"}));
  EXPECT_EQ(TempFolder::EntriesOf(folder / u"locked"), std::vector<std::u16string>{u"doc.xml"});
}

// A real full disk: a child process may write no more than 64 KiB per file.
TEST(SafeFileWriter, AFullDiskFailsTheWriteAndKeepsTheOldFile) {
  TempFolder folder;
  const fs::path target = folder / u"doc.xml";
  WriteFile(target, "old");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 * 1024, 64 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    SafeFileWriter writer;
    if (!writer.Open(target.u16string())) ::_exit(10);
    const std::string block(16 * 1024, 'x');
    bool written = true;
    for (int i = 0; i < 16 && written; ++i)
      written = writer.Write(block);
    if (written) ::_exit(11);
    if (writer.Error().find(u"doc.xml") == std::u16string::npos) ::_exit(12);
    ::_exit(writer.Commit() ? 13 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{u"doc.xml"});
}
#else
TEST(SafeFileWriter, DoesNotReplaceAReadOnlyFile) {
  TempFolder folder;
  const fs::path target = folder / u"readonly.xml";
  WriteFile(target, "old");
  fs::permissions(target, fs::perms::owner_write, fs::perm_options::remove);
  SafeFileWriter writer;
  const bool opened = writer.Open(target.u16string()) && writer.Write("new") && writer.Commit();
  EXPECT_FALSE(opened);
  EXPECT_NE(writer.Error().find(u"readonly.xml"), std::u16string::npos) << Narrow(writer.Error());
  fs::permissions(target, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(folder.Entries(), std::vector<std::u16string>{u"readonly.xml"});
}
#endif

// Downloads -------------------------------------------------------------------------------------

using kestrelwing::testing::LoopbackHttpServer;

std::string OneLine(const Download& download) {
  EXPECT_EQ(download.error.find(u'\n'), std::u16string::npos);
  return Narrow(download.error);
}

const std::string kDocument = "<?xml version=\"1.0\"?><a>\xC3\xA9</a>";

TEST(DownloadUrl, FetchesDocumentsFromAnHttpServer) {
  const std::string big = SampleBytes(3 << 20);
  LoopbackHttpServer server({{"/doc.xml", {200, kDocument, "Content-Type: text/xml\r\n"}},
                             {"/big.bin", {200, big, ""}},
                             {"/empty", {200, "", ""}},
                             {"/moved", {302, "", "Location: /doc.xml\r\n"}}});
  ASSERT_TRUE(server.Running());
  const Download document = DownloadUrl(server.Url("/doc.xml"));
  EXPECT_EQ(AsString(document.bytes), kDocument) << OneLine(document);
  EXPECT_TRUE(document.error.empty());
  const Download large = DownloadUrl(server.Url("/big.bin"));
  EXPECT_TRUE(AsString(large.bytes) == big) << OneLine(large);
  const Download moved = DownloadUrl(server.Url("/moved"));
  EXPECT_EQ(AsString(moved.bytes), kDocument) << OneLine(moved);
  const Download empty = DownloadUrl(server.Url("/empty"));
  ASSERT_TRUE(empty.bytes.has_value()) << OneLine(empty);
  EXPECT_TRUE(empty.bytes->empty());
}

TEST(DownloadUrl, HttpErrorsAreFailuresWithOneLineOfText) {
  LoopbackHttpServer server(
      {{"/broken", {500, "<html>oops</html>", ""}}, {"/gone", {410, "gone", ""}}});
  ASSERT_TRUE(server.Running());
  for (const auto& [path, status] :
       {std::pair{"/missing", "404"}, {"/broken", "500"}, {"/gone", "410"}}) {
    const Download download = DownloadUrl(server.Url(path));
    EXPECT_FALSE(download.bytes.has_value()) << path;
    EXPECT_NE(OneLine(download).find(status), std::string::npos) << OneLine(download);
    EXPECT_NE(OneLine(download).find(path), std::string::npos) << OneLine(download);
  }
}

TEST(DownloadUrl, UnreachableAndMalformedAddressesFail) {
  // The port of a server that has stopped: nobody listens there any more.
  std::uint16_t port = 0;
  {
    const LoopbackHttpServer stopped({});
    ASSERT_TRUE(stopped.Running());
    port = stopped.Port();
  }
  const std::string refused = "http://127.0.0.1:" + std::to_string(port) + "/doc.xml";
  for (const std::u16string& url :
       {std::u16string(refused.begin(), refused.end()), std::u16string(),
        std::u16string(u"http://127.0.0.1:1/\0x", 21), std::u16string(u"nosuchscheme://x/y")}) {
    const Download download = DownloadUrl(url);
    EXPECT_FALSE(download.bytes.has_value()) << Narrow(url);
    EXPECT_FALSE(OneLine(download).empty()) << Narrow(url);
  }
}

TEST(DownloadUrl, GivesUpOnAServerThatStopsSending) {
  LoopbackHttpServer server({{"/stalled", {200, "<a>", "", true}}});
  ASSERT_TRUE(server.Running());
  const auto start = std::chrono::steady_clock::now();
  const Download download =
      DownloadUrl(server.Url("/stalled"), {std::chrono::seconds(2), std::chrono::seconds(1)});
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(download.bytes.has_value());
  EXPECT_FALSE(OneLine(download).empty());
  EXPECT_LT(waited, std::chrono::seconds(20));  // the default of 30 s was not used
}

std::u16string FileUrl(const fs::path& path) {
  std::u16string url = u"file://";
#ifdef _WIN32
  url += u'/';
#endif
  for (const char16_t c : path.u16string())
    url += c == u'\\' ? u'/' : c;
  return url;
}

TEST(DownloadUrl, ReadsFileAddresses) {
  TempFolder folder;
  WriteFile(folder / u"doc.xml", kDocument);
  const Download found = DownloadUrl(FileUrl(folder / u"doc.xml"));
  EXPECT_EQ(AsString(found.bytes), kDocument) << OneLine(found);
  const Download missing = DownloadUrl(FileUrl(folder / u"missing.xml"));
  EXPECT_FALSE(missing.bytes.has_value());
  EXPECT_FALSE(OneLine(missing).empty());
}

}  // namespace
}  // namespace kestrelwing::platform
