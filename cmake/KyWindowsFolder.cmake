# Windows program folders: a program with everything it needs beside it,
# assembled by cmake/KyDeployWindows.cmake after the programs are built.
if(NOT KY_QT_WINDOWS_PREFIX)
  message(FATAL_ERROR "Building for Windows needs -DKY_QT_WINDOWS_PREFIX=<Qt for Windows prefix>")
endif()
find_program(KY_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump REQUIRED)
find_program(KY_MINGW_OBJCOPY NAMES x86_64-w64-mingw32-objcopy REQUIRED)

# The folders of the compiler's runtime DLLs (libstdc++, libgcc_s, winpthread).
set(KY_MINGW_RUNTIME_DIRS "")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
  endif()
  get_filename_component(dir ${path} DIRECTORY)
  get_filename_component(dir ${dir} REALPATH)
  list(APPEND KY_MINGW_RUNTIME_DIRS ${dir})
endforeach()
list(REMOVE_DUPLICATES KY_MINGW_RUNTIME_DIRS)

# What every Qt Widgets program folder holds beyond its imports: the platform
# plugin, the native style, the image formats our pictures use (PNG is built
# in) and OpenSSL, which Qt loads for HTTPS.
set(KY_QT_PLUGINS platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll)
set(KY_QT_RUNTIME_LOADED libssl-3-x64.dll libcrypto-3-x64.dll)

# ky_windows_folder(NAME DIR <dir> PROGRAMS <target>... [DATA <file>...]
#                   [NO_SSL]) adds the target NAME (built by default) that
# lays DIR out anew whenever a program or data file changes. NO_SSL leaves
# OpenSSL out, for programs that make no HTTPS requests.
function(ky_windows_folder name)
  cmake_parse_arguments(F "NO_SSL" "DIR" "PROGRAMS;DATA" ${ARGN})
  set(loaded ${KY_QT_RUNTIME_LOADED})
  if(F_NO_SSL)
    set(loaded "")
  endif()
  set(programs "")
  foreach(target ${F_PROGRAMS})
    list(APPEND programs $<TARGET_FILE:${target}>)
  endforeach()
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${name}.stamp)
  string(REPLACE ";" "\\;" programs_arg "${programs}")
  string(REPLACE ";" "\\;" plugins_arg "${KY_QT_PLUGINS}")
  string(REPLACE ";" "\\;" loaded_arg "${loaded}")
  string(REPLACE ";" "\\;" data_arg "${F_DATA}")
  string(REPLACE ";" "\\;" dirs_arg "${KY_MINGW_RUNTIME_DIRS}")
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DDEPLOY_DIR=${F_DIR} -DPROGRAMS=${programs_arg}
            -DQT_PREFIX=${KY_QT_WINDOWS_PREFIX} -DPLUGINS=${plugins_arg}
            -DRUNTIME_LOADED=${loaded_arg} -DDATA_FILES=${data_arg}
            -DSEARCH_DIRS=${dirs_arg} -DOBJDUMP=${KY_MINGW_OBJDUMP} -DOBJCOPY=${KY_MINGW_OBJCOPY}
            -P ${PROJECT_SOURCE_DIR}/cmake/KyDeployWindows.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${F_PROGRAMS} ${F_DATA} ${PROJECT_SOURCE_DIR}/cmake/KyDeployWindows.cmake
    COMMENT "Assembling the Windows folder ${F_DIR}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${stamp})
endfunction()
