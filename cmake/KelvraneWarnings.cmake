# Our own targets build with warnings as errors; third-party headers come in
# as system includes (imported targets), so their warnings stay out of it.
function(kelvrane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
