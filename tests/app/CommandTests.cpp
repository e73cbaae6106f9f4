// The load step and the dispatch of BtnMain clicks: which program each button would launch, with
// which parameters, and when nothing at all may happen.
#include <gtest/gtest.h>

#include <climits>

#include "Actions.h"
#include "RecordingHost.h"

namespace kestrelwing {
namespace {

using testing::DialogCall;
using testing::Launch;
using testing::Message;
using testing::RecordingHost;

TEST(LoadStep, CommandLineWithoutItsQuotesBecomesThePath) {
  EXPECT_EQ(CleanCommandLine(u"\"C:\\Program Files\\My Grid\\grid.ocx\""),
            u"C:\\Program Files\\My Grid\\grid.ocx");
  EXPECT_EQ(CleanCommandLine(u"\"a b.dll\" \"c d.ocx\""), u"a b.dll c d.ocx");
  EXPECT_EQ(CleanCommandLine(u"  grid.ocx  "), u"  grid.ocx  ");  // no trimming
  EXPECT_EQ(CleanCommandLine(u"\"\"\""), u"");

  RecordingHost host;
  OnLoad(host, u"\"C:\\Mis Componentes\\rejilla \u00f1.ocx\"");
  EXPECT_EQ(host.pathText, u"C:\\Mis Componentes\\rejilla \u00f1.ocx");
  EXPECT_TRUE(host.launches.empty());
}

TEST(LoadStep, EmptyCommandLineLeavesTheBoxAlone) {
  RecordingHost host;
  OnLoad(host, u"");
  EXPECT_EQ(host.pathTextSets, 0);
  EXPECT_EQ(host.pathText, u"");
}

TEST(RegisterButtons, LaunchRegsvr32ElevatedWithTheQuotedPathWithoutWaiting) {
  RecordingHost host;
  host.pathText = u"C:\\Mis Componentes\\grid.ocx";
  FrmMainActions(host).OnBtnMainClick(BtnRegister);
  FrmMainActions(host).OnBtnMainClick(BtnUnregister);

  const std::vector<Launch> expected = {
      {u"regsvr32.exe", u"\"C:\\Mis Componentes\\grid.ocx\"", u"", ShowNormal, false},
      {u"regsvr32.exe", u"/u \"C:\\Mis Componentes\\grid.ocx\"", u"", ShowNormal, false},
  };
  EXPECT_EQ(host.launches, expected);
  EXPECT_TRUE(host.messages.empty());  // nothing is said after a (un)registration
}

TEST(RegisterButtons, AFailedLaunchIsReportedButADeclinedElevationIsNot) {
  RecordingHost host;
  host.pathText = u"C:\\grid.ocx";
  host.launchError = 2;  // ERROR_FILE_NOT_FOUND: no regsvr32.exe
  FrmMainActions(host).OnBtnMainClick(BtnRegister);
  FrmMainActions(host).OnBtnMainClick(BtnUnregister);
  const Message failed{u"No se pudo ejecutar regsvr32.exe", MessageIcon::Error};
  EXPECT_EQ(host.messages, (std::vector<Message>{failed, failed}));

  host.messages.clear();
  host.launchError = kElevationDeclined;
  for (const std::int16_t index : {BtnRegister, BtnUnregister, BtnGenerate}) {
    FrmMainActions(host).OnBtnMainClick(index);
  }
  EXPECT_EQ(host.launches.size(), 5u);
  EXPECT_TRUE(host.messages.empty());
}

TEST(RegisterButtons, BlanksCountAsAPath) {
  RecordingHost host;
  host.pathText = u"  ";
  FrmMainActions(host).OnBtnMainClick(BtnRegister);
  ASSERT_EQ(host.launches.size(), 1u);
  EXPECT_EQ(host.launches[0].parameters, u"\"  \"");
}

TEST(LaunchingButtons, DoNothingForAnEmptyBoxOrAPathHoldingAQuote) {
  const std::u16string unusable[] = {u"", u"\"", u"grid.ocx\" /s \"x", u"C:\\a\"b.dll"};
  for (const auto& path : unusable) {
    for (const std::int16_t index : {BtnGenerate, BtnRegister, BtnUnregister}) {
      RecordingHost host;
      host.pathText = path;
      FrmMainActions(host).OnBtnMainClick(index);
      EXPECT_TRUE(host.launches.empty()) << "button " << index;
      EXPECT_TRUE(host.messages.empty()) << "button " << index;
      EXPECT_TRUE(host.existenceTests.empty()) << "button " << index;
      EXPECT_EQ(host.pathText, path);
    }
  }
}

TEST(BrowseButton, ChosenFileReplacesThePathAndCancelKeepsIt) {
  RecordingHost host;
  host.pathText = u"C:\\old.ocx";
  host.dialogChoice = u"C:\\Nuevos\\grid.dll";
  FrmMainActions(host).OnBtnMainClick(BtnBrowse);
  EXPECT_EQ(host.pathText, u"C:\\Nuevos\\grid.dll");

  host.dialogChoice.reset();
  FrmMainActions(host).OnBtnMainClick(BtnBrowse);
  EXPECT_EQ(host.pathText, u"C:\\Nuevos\\grid.dll");

  const DialogCall expectedCall{u"", u"Activex objects|*.dll;*.ocx|All files|*.*"};
  EXPECT_EQ(host.dialogs, (std::vector<DialogCall>{expectedCall, expectedCall}));
  EXPECT_TRUE(host.launches.empty());
}

TEST(BrowseButton, WorksWithAnEmptyBox) {
  RecordingHost host;
  host.dialogChoice = u"C:\\grid.ocx";
  FrmMainActions(host).OnBtnMainClick(BtnBrowse);
  EXPECT_EQ(host.pathText, u"C:\\grid.ocx");
}

TEST(OtherIndexes, DoNothing) {
  for (const std::int16_t index : {-1, 4, 5, 100, SHRT_MIN, SHRT_MAX}) {
    RecordingHost host;
    host.pathText = u"C:\\grid.ocx";
    host.dialogChoice = u"C:\\other.ocx";
    FrmMainActions(host).OnBtnMainClick(index);
    EXPECT_TRUE(host.launches.empty()) << index;
    EXPECT_TRUE(host.dialogs.empty()) << index;
    EXPECT_TRUE(host.messages.empty()) << index;
    EXPECT_EQ(host.pathText, u"C:\\grid.ocx") << index;
  }
}

}  // namespace
}  // namespace kestrelwing
