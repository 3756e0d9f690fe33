# KELVRANE_SANITIZE applies to everything built in this tree, so that the
# tests, the libraries they link and the tools all carry the same checks.
if(KELVRANE_SANITIZE)
  set(_kelvrane_san_flags -fsanitize=${KELVRANE_SANITIZE} -fno-omit-frame-pointer)
  if(KELVRANE_SANITIZE MATCHES "undefined")
    list(APPEND _kelvrane_san_flags -fno-sanitize-recover=all)
  endif()
  add_compile_options(${_kelvrane_san_flags})
  add_link_options(${_kelvrane_san_flags})
endif()

# libFuzzer build (clang only): every library gets coverage instrumentation,
# each fuzzer executable links the libFuzzer driver.
if(KELVRANE_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KELVRANE_FUZZERS needs clang (CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# kelvrane_fuzzer(NAME SOURCES...): only in the fuzzer build; the binaries land
# in <build>/fuzzers/, where the test command's smoke run finds them.
if(KELVRANE_FUZZERS AND NOT TARGET fuzzers)
  add_custom_target(fuzzers)
endif()
function(kelvrane_fuzzer name)
  if(NOT KELVRANE_FUZZERS)
    return()
  endif()
  add_executable(${name} ${ARGN})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzzers)
  kelvrane_warnings(${name})
  add_dependencies(fuzzers ${name})
endfunction()
