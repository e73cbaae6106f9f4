# Every target of the project links kestrelwing_warnings: warnings are errors on every compiler.
# Third-party code built beside ours (GoogleTest for the cross builds) does not.
add_library(kestrelwing_warnings INTERFACE)
if(MSVC)
  target_compile_options(kestrelwing_warnings INTERFACE /W4 /WX /utf-8 /permissive-)
else()
  target_compile_options(kestrelwing_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
endif()
