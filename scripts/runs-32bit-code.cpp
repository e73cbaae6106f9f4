// Answers whether this kernel runs 32-bit code: switches to the 32-bit user code segment and back.
// Exit code 0: it does. A kernel whose 32-bit compatibility mode is off (ia32_emulation) refuses
// the far return into that segment with a general-protection fault, which arrives as SIGSEGV and
// becomes exit code 1; anything that hangs ends by the alarm. Built by scripts/win32-stage-plan.sh
// with `g++ -no-pie`, so that the code and the stack below lie under 4 GiB, where 32-bit code can
// reach them.
#include <unistd.h>
#include <csignal>

extern "C" {
// Room for the kernel's signal frame too: a fault is delivered on this stack.
alignas(16) unsigned char stack32[65536];
void* saved_rsp;
void SwitchTo32BitAndBack();
}

// 0x23 and 0x33 are Linux's 32-bit and 64-bit user code segments on x86_64.
asm(R"(
    .text
    .globl SwitchTo32BitAndBack
SwitchTo32BitAndBack:
    push %rbx
    push %rbp
    push %r12
    push %r13
    push %r14
    push %r15
    movq %rsp, saved_rsp(%rip)
    leaq stack32+65536(%rip), %rsp
    pushq $0x23
    leaq 1f(%rip), %rax
    pushq %rax
    lretq
    .code32
1:  pushl $0x33
    pushl $2f
    lretl
    .code64
2:  movq saved_rsp(%rip), %rsp
    pop %r15
    pop %r14
    pop %r13
    pop %r12
    pop %rbp
    pop %rbx
    ret
)");

namespace {
void Refused(int) {
  _exit(1);
}
}  // namespace

int main() {
  std::signal(SIGSEGV, Refused);
  std::signal(SIGBUS, Refused);
  std::signal(SIGILL, Refused);
  std::signal(SIGALRM, Refused);
  alarm(1);
  SwitchTo32BitAndBack();
  return 0;
}
