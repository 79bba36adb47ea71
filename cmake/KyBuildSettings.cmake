# Per-system code lives in files ending in _win.cpp or _posix.cpp; KY_BACKEND
# names the suffix of the system being built for.
if(WIN32)
  set(KY_BACKEND win)
else()
  set(KY_BACKEND posix)
endif()

# One INTERFACE target carries the compiler settings of every target we build.
add_library(ky_build_settings INTERFACE)
target_compile_features(ky_build_settings INTERFACE cxx_std_17)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(ky_build_settings INTERFACE
  -Wall -Wextra -Wpedantic
  # The crash handler walks saved frame pointers.
  -fno-omit-frame-pointer
  # Qt's logging macros (qCWarning(category) << ...) leave their variadic
  # part empty, which clang's -Wpedantic reports.
  $<$<CXX_COMPILER_ID:Clang>:-Wno-gnu-zero-variadic-macro-arguments>
  $<$<BOOL:${KY_WERROR}>:-Werror>)

# Qt strictness. Test code may build strings from plain literals (it sets the
# KY_TEST target property); program code spells out every conversion.
target_compile_definitions(ky_build_settings INTERFACE
  QT_USE_QSTRINGBUILDER
  QT_STRICT_ITERATORS
  QT_DEPRECATED_WARNINGS
  QT_DISABLE_DEPRECATED_BEFORE=0x050F00
  $<$<NOT:$<BOOL:$<TARGET_PROPERTY:KY_TEST>>>:QT_NO_CAST_FROM_ASCII>)

if(KY_FUZZ)
  # Coverage for libFuzzer in every library; the fuzz targets link the
  # fuzzer's own main.
  target_compile_options(ky_build_settings INTERFACE -fsanitize=fuzzer-no-link)
endif()

if(KY_SANITIZE)
  target_compile_options(ky_build_settings INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined)
  target_link_options(ky_build_settings INTERFACE -fsanitize=address,undefined)
endif()

if(WIN32)
  # Plain C++ programs (the platform layer's tests, the stand-in installer
  # and tools) carry their C and C++ runtime inside, so a copy runs from any
  # folder. Qt programs share the runtime DLLs that the Qt DLLs import and
  # that the program folder ships.
  target_link_options(ky_build_settings INTERFACE
    $<$<NOT:$<BOOL:$<TARGET_PROPERTY:KY_QT>>>:-static>)
endif()

# Qt targets of ours: automoc/autouic/autorcc plus the shared settings.
function(ky_qt_target target)
  set_target_properties(${target} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON KY_QT ON)
  target_link_libraries(${target} PRIVATE ky_build_settings)
endfunction()
