// One action at a time: while an action waits for its tool the window shows it busy, clicks
// start nothing, and a close request asks whether to close once the action is over.
#include <gtest/gtest.h>

#include <kestrelwing/cXmlNode.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Actions.h"
#include "Launch.h"
#include "RecordingHost.h"

namespace kestrelwing {
namespace {

using testing::Message;
using testing::RecordingHost;

const std::u16string kNormal = u"Kestrelwing";

// Records how many times the window had been closed when each message was shown.
class ClosingHost : public RecordingHost {
 public:
  std::vector<int> closedBeforeMessage;
  void ShowMessage(std::u16string_view text, MessageIcon icon) override {
    closedBeforeMessage.push_back(closeWindowCalls);
    RecordingHost::ShowMessage(text, icon);
  }
};

TEST(BusyWindow,
     EachToolIsWaitedForWithItsCaptionAndTheWindowIsNormalAfterwardsWhateverTheOutcome) {
  struct Case {
    std::int16_t index;
    const char16_t* caption;
    std::uint32_t launchError;
    std::optional<std::uint32_t> exitCode;
  };
  const Case cases[] = {
      {BtnGenerate, u"Kestrelwing - Generando SxS...", 0, 0u},
      {BtnGenerate, u"Kestrelwing - Generando SxS...", 0, 13u},
      {BtnGenerate, u"Kestrelwing - Generando SxS...", 2, std::nullopt},
      {BtnGenerate, u"Kestrelwing - Generando SxS...", kElevationDeclined, std::nullopt},
      {BtnRegister, u"Kestrelwing - Registrando...", 0, std::nullopt},
      {BtnRegister, u"Kestrelwing - Registrando...", 2, std::nullopt},
      {BtnUnregister, u"Kestrelwing - Desregistrando...", 0, std::nullopt},
      {BtnUnregister, u"Kestrelwing - Desregistrando...", kElevationDeclined, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.caption) + " error " + std::to_string(c.launchError));
    RecordingHost host;
    host.pathText = u"C:\\nada\\grid.ocx";
    host.launchError = c.launchError;
    host.exitCode = c.exitCode;
    FrmMainActions actions(host);
    bool underWayDuringTheWait = false;
    host.whileLaunched = [&] { underWayDuringTheWait = actions.ActionUnderWay(); };
    actions.OnBtnMainClick(c.index);

    EXPECT_EQ(host.captionsAtLaunch, std::vector<std::u16string>{c.caption});
    EXPECT_EQ(host.captions, (std::vector<std::u16string>{c.caption, kNormal}));
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(underWayDuringTheWait, c.launchError == 0);
    EXPECT_FALSE(actions.ActionUnderWay());
    // Every message comes once the window is normal again.
    for (const Message& message : host.messages) {
      EXPECT_EQ(host.caption, kNormal) << ToUtf8(message.text);
    }
  }
}

TEST(BusyWindow, BrowsingAndUnusablePathsShowNothingBusy) {
  RecordingHost host;
  FrmMainActions actions(host);
  actions.OnBtnMainClick(BtnBrowse);
  actions.OnBtnMainClick(BtnGenerate);  // empty box
  host.pathText = u"a\"b";
  actions.OnBtnMainClick(BtnRegister);
  EXPECT_TRUE(host.captions.empty());
  EXPECT_TRUE(host.launches.empty());
  EXPECT_EQ(host.dialogs.size(), 1u);
}

TEST(OneActionAtATime, ClicksDuringTheWaitStartNothingAndTheNextClickAfterItDoes) {
  for (const std::int16_t first : {BtnGenerate, BtnRegister, BtnUnregister}) {
    SCOPED_TRACE(first);
    RecordingHost host;
    host.pathText = u"C:\\nada\\grid.ocx";
    host.dialogChoice = u"C:\\otro.ocx";
    FrmMainActions actions(host);
    host.whileLaunched = [&] {
      host.whileLaunched = nullptr;
      for (const std::int16_t index : {BtnBrowse, BtnGenerate, BtnRegister, BtnUnregister}) {
        actions.OnBtnMainClick(index);
      }
    };
    actions.OnBtnMainClick(first);
    EXPECT_EQ(host.launches.size(), 1u);
    EXPECT_TRUE(host.dialogs.empty());
    EXPECT_EQ(host.pathText, u"C:\\nada\\grid.ocx");

    actions.OnBtnMainClick(BtnRegister);
    ASSERT_EQ(host.launches.size(), 2u);
    EXPECT_EQ(host.launches[1].fileToRun, u"regsvr32.exe");
  }
}

TEST(OneActionAtATime, AnExceptionFromTheWaitLeavesTheWindowNormalAndUsable) {
  RecordingHost host;
  host.pathText = u"C:\\nada\\grid.ocx";
  host.whileLaunched = [] { throw std::runtime_error("wait failed"); };
  FrmMainActions actions(host);
  EXPECT_THROW(actions.OnBtnMainClick(BtnRegister), std::runtime_error);
  EXPECT_FALSE(host.busy);
  EXPECT_EQ(host.caption, kNormal);
  EXPECT_FALSE(actions.ActionUnderWay());

  host.whileLaunched = nullptr;
  actions.OnBtnMainClick(BtnUnregister);
  EXPECT_EQ(host.launches.size(), 2u);
}

TEST(CloseRequest, ClosesAtOnceWhenNothingIsUnderWay) {
  RecordingHost host;
  FrmMainActions actions(host);
  EXPECT_TRUE(actions.OnCloseRequest());
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(host.closeWindowCalls, 0);
}

TEST(CloseRequest, DuringTheWaitAsksAndClosesOnlyAfterTheActionAndItsMessage) {
  struct Case {
    const char* name;
    std::vector<bool> answers;  // one close request during the wait per answer
    std::size_t questions;
    int closeWindowCalls;
  };
  const Case cases[] = {
      {"no", {false}, 1, 0},
      {"yes", {true}, 1, 1},
      {"no, then yes", {false, true}, 2, 1},
      {"yes, then another request", {true, true}, 1, 1},
      {"no twice", {false, false}, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClosingHost host;
    host.pathText = u"C:\\nada\\grid.ocx";
    host.exitCode = 7;  // the generator fails: its message still comes before the close
    FrmMainActions actions(host);
    std::size_t asked = 0;
    host.answer = [&] { return c.answers[asked++]; };
    std::vector<bool> closedAtOnce;
    host.whileLaunched = [&] {
      for (std::size_t i = 0; i < c.answers.size(); ++i) {
        closedAtOnce.push_back(actions.OnCloseRequest());
      }
      EXPECT_EQ(host.closeWindowCalls, 0) << "closed during the wait";
    };
    actions.OnBtnMainClick(BtnGenerate);

    EXPECT_EQ(closedAtOnce, std::vector<bool>(c.answers.size(), false));
    EXPECT_EQ(host.questions.size(), c.questions);
    EXPECT_EQ(host.closeWindowCalls, c.closeWindowCalls);
    EXPECT_EQ(host.closedBeforeMessage, std::vector<int>{0});
    EXPECT_EQ(host.launches.size(), 1u);
    // The next action starts afresh: no close left over from this one.
    host.whileLaunched = nullptr;
    actions.OnBtnMainClick(BtnRegister);
    EXPECT_EQ(host.closeWindowCalls, c.closeWindowCalls);
  }
}

TEST(CloseRequest, ARequestWhileTheQuestionIsOpenAsksNothingMore) {
  RecordingHost host;
  host.pathText = u"C:\\nada\\grid.ocx";
  FrmMainActions actions(host);
  bool nestedAnswer = true;
  host.answer = [&] {
    nestedAnswer = actions.OnCloseRequest();
    return true;
  };
  host.whileLaunched = [&] { EXPECT_FALSE(actions.OnCloseRequest()); };
  actions.OnBtnMainClick(BtnUnregister);
  EXPECT_FALSE(nestedAnswer);
  EXPECT_EQ(host.questions, std::vector<std::u16string>{CloseQuestion(BtnUnregister)});
  EXPECT_EQ(host.closeWindowCalls, 1);
}

TEST(CloseRequest, TheQuestionSaysWhatIsUnderWayAndThatItGoesOn) {
  const std::pair<std::int16_t, std::u16string> cases[] = {
      {BtnBrowse, u"eligiendo un componente"},
      {BtnGenerate, u"generando el manifiesto SxS"},
      {BtnRegister, u"registrando el componente"},
      {BtnUnregister, u"desregistrando el componente"},
  };
  for (const auto& [index, doing] : cases) {
    EXPECT_EQ(CloseQuestion(index),
              u"Kestrelwing está " + doing +
                  u" y no interrumpe la acción en curso.\n\n¿Cerrar la ventana cuando termine?");
  }
}

}  // namespace
}  // namespace kestrelwing
