# One place for the language level, warnings and Qt strictness of every target.
add_library(lumora_options INTERFACE)
target_compile_features(lumora_options INTERFACE cxx_std_20)
target_compile_definitions(lumora_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH
  QT_NO_KEYWORDS
  QT_USE_QSTRINGBUILDER
  QT_DISABLE_DEPRECATED_UP_TO=0x060400
)
if(MSVC)
  target_compile_options(lumora_options INTERFACE /W4 /permissive- /utf-8)
else()
  target_compile_options(lumora_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wcast-qual -Wformat=2 -Wimplicit-fallthrough)
endif()
option(LUMORA_WERROR "Treat warnings as errors" OFF)
if(LUMORA_WERROR AND NOT MSVC)
  target_compile_options(lumora_options INTERFACE -Werror)
endif()

# A separate build with sanitizers, e.g. -DLUMORA_SANITIZE=address,undefined.
# Every target links lumora_options, so one place covers libraries, tests and tools.
set(LUMORA_SANITIZE "" CACHE STRING "Comma-separated sanitizers to build with (address,undefined)")
if(LUMORA_SANITIZE AND NOT MSVC)
  target_compile_options(lumora_options INTERFACE
    -fsanitize=${LUMORA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(lumora_options INTERFACE -fsanitize=${LUMORA_SANITIZE})
endif()

# libFuzzer targets under fuzz/ (clang only): every target is instrumented for
# coverage; only the fuzz executables link libFuzzer's main.
option(LUMORA_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(LUMORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LUMORA_FUZZ needs clang, e.g. CC=clang-14 CXX=clang++-14")
  endif()
  target_compile_options(lumora_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
