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

#include "Failure.h"
#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {

enum class Apartment { SingleThreaded, Multithreaded };

// How the generator ends when a call runs past the limit: the exit code, and the words that
// follow "regsvr42: error: <component>: " on its line.
struct Overrun {
  ExitCode code;
  std::u16string (*words)(std::u16string_view step, unsigned limitSeconds);
};

// "did not return from <step> within N s", exit code 15.
std::u16string DidNotReturn(std::u16string_view step, unsigned limitSeconds);
inline constexpr Overrun kDidNotReturn{ExitCode::TimedOut, &DidNotReturn};

class WatchedThread {
 public:
  // Starts the thread and waits, within the limit, until it is in an apartment of its own of the
  // kind given (the component's code expects a single-threaded one unless it says otherwise).
  // `component` names the component in the line of a call that does not return.
  WatchedThread(std::u16string component, unsigned limitSeconds,
                Apartment apartment = Apartment::SingleThreaded, Overrun overrun = kDidNotReturn);
  WatchedThread(const WatchedThread&) = delete;
  WatchedThread& operator=(const WatchedThread&) = delete;
  // Ends the thread; leaving its apartment is watched like a call.
  ~WatchedThread();

  // Runs call on the thread and answers its result, or throws what it threw. The limit counts
  // from this call. When call has not returned within it, the generator removes its temporary
  // registry key, writes the overrun's line (by default "regsvr42: error: <component>: did not
  // return from <step> within N s") to standard error and ends at once with the overrun's exit
  // code (by default 15); this never returns then.
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
  Apartment apartment_;
  Overrun overrun_;
  UniqueHandle posted_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  UniqueHandle done_{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  const std::function<void()>* call_ = nullptr;  // none: leave the apartment and end
  std::exception_ptr failure_;
  UniqueHandle thread_;
};

}  // namespace kestrelwing::regsvr42
