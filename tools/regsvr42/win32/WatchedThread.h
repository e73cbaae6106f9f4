// A thread of its own for a component's code, watched by the generator. A component may never
// return from a call (a dead lock, a dialog nobody answers); the generator must end all the same.
// A thread stuck in foreign code cannot be unwound safely, so when a call runs past the time
// limit the generator ends its whole process.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {

class WatchedThread {
 public:
  // Starts the thread, in a single-threaded apartment of its own as the component's code expects.
  // `component` names the component in the message of a call that does not return.
  WatchedThread(std::u16string component, unsigned limitSeconds);
  WatchedThread(const WatchedThread&) = delete;
  WatchedThread& operator=(const WatchedThread&) = delete;
  // Ends the thread; leaving its apartment is watched like a call.
  ~WatchedThread();

  // Runs call on the thread and answers its result, or throws what it threw. The limit counts
  // from this call. When call has not returned within it, the generator removes its temporary
  // registry key, writes "regsvr42: error: <component>: did not return from <step> within N s"
  // to standard error and ends at once with exit code 15; this never returns then.
  template <class Call>
  std::invoke_result_t<Call&> Run(std::u16string_view step, Call&& call) {
    using Result = std::invoke_result_t<Call&>;
    if constexpr (std::is_void_v<Result>) {
      RunCall(step, call);
    } else {
      std::optional<Result> result;
      RunCall(step, [&] { result.emplace(call()); });
      return std::move(*result);
    }
  }

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void RunCall(std::u16string_view step, const std::function<void()>& call);
  // Waits for signal (done_, or the thread's end) within the limit; ends the generator otherwise.
  void AwaitWithinLimit(HANDLE signal, std::u16string_view step);

  std::u16string component_;
  unsigned limitSeconds_;
  UniqueHandle posted_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  UniqueHandle done_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  const std::function<void()>* call_ = nullptr;  // none: leave the apartment and end
  std::exception_ptr failure_;
  UniqueHandle thread_;
};

}  // namespace kestrelwing::regsvr42
