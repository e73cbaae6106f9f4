#include "WatchedThread.h"

#include <ole2.h>

#include <cstdio>

#include <kestrelwing/cXmlNode.h>

#include "CrashGuard.h"
#include "Failure.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {

std::u16string DidNotReturn(std::u16string_view step, unsigned limitSeconds) {
  return u"did not return from " + std::u16string(step) + u" within " + Decimal(limitSeconds) +
         u" s";
}

WatchedThread::WatchedThread(std::u16string component, unsigned limitSeconds, Apartment apartment,
                             Overrun overrun)
    : component_(std::move(component)),
      limitSeconds_(limitSeconds),
      apartment_(apartment),
      overrun_(overrun) {
  if (posted_ && done_) thread_.reset(CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr));
  // The apartment is there before the caller goes on (and, say, changes the registry view).
  RunCall(apartment_ == Apartment::SingleThreaded ? u"OleInitialize" : u"CoInitializeEx", [] {});
}

WatchedThread::~WatchedThread() {
  if (!thread_) return;
  call_ = nullptr;
  SetEvent(posted_.get());
  AwaitWithinLimit(thread_.get(), apartment_ == Apartment::SingleThreaded ? u"OleUninitialize"
                                                                          : u"CoUninitialize");
}

DWORD WINAPI WatchedThread::ThreadMain(void* argument) {
  WatchedThread& self = *static_cast<WatchedThread*>(argument);
  const bool single = self.apartment_ == Apartment::SingleThreaded;
  const HRESULT initialized =
      single ? OleInitialize(nullptr) : CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  while (WaitForSingleObject(self.posted_.get(), INFINITE) == WAIT_OBJECT_0 &&
         self.call_ != nullptr) {
    // C++ exceptions go back to the caller; a crash (a system exception) is left to the crash
    // guard.
    try {
      (*self.call_)();
    } catch (const std::exception&) {
      self.failure_ = std::current_exception();
    }
    SetEvent(self.done_.get());
  }
  if (SUCCEEDED(initialized) && single) OleUninitialize();
  if (SUCCEEDED(initialized) && !single) CoUninitialize();
  return 0;
}

void WatchedThread::RunCall(std::u16string_view step, const std::function<void()>& call) {
  // Without a thread of its own (the system could not start one) the call runs unwatched.
  if (!thread_) {
    call();
    return;
  }
  call_ = &call;
  failure_ = nullptr;
  SetEvent(posted_.get());
  AwaitWithinLimit(done_.get(), step);
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void WatchedThread::AwaitWithinLimit(HANDLE signal, std::u16string_view step) {
  // Composed before the wait, so that giving up needs no memory that the stuck thread might hold
  // the lock of.
  const std::string line = ToUtf8(u"regsvr42: error: " + component_ + u": " +
                                  overrun_.words(step, limitSeconds_) + u"\n");
  std::fflush(stdout);
  std::fflush(stderr);
  // This thread's window messages (those of its own apartment) are dispatched meanwhile, so that
  // a component waiting on them is not stuck because of the wait.
  const ULONGLONG deadline = GetTickCount64() + limitSeconds_ * 1000ULL;
  for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &signal, FALSE,
                                                  static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) return;
    if (woken == WAIT_FAILED) {
      if (WaitForSingleObject(signal, static_cast<DWORD>(deadline - now)) == WAIT_OBJECT_0) return;
      break;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  EndGenerator({line}, overrun_.code);
}

}  // namespace kestrelwing::regsvr42
