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
