# Assembles the folder a Windows user gets: the programs, every DLL they and
# the Qt plugins import (found in the Qt prefix and the compiler's runtime
# folders), the plugins, the DLLs Qt loads at run time, and the data files.
# Run as a script:
#
#   cmake -DDEPLOY_DIR=<folder> -DPROGRAMS=<exe;...> -DQT_PREFIX=<prefix>
#         -DPLUGINS=<platforms/qwindows.dll;...> -DRUNTIME_LOADED=<dll;...>
#         -DDATA_FILES=<file;...> -DSEARCH_DIRS=<dir;...> -DOBJDUMP=<objdump>
#         -DOBJCOPY=<objcopy> -P KyDeployWindows.cmake
#
# The folder is laid anew each time, so it never keeps a file that is no
# longer part of it. DLLs that no search folder holds are taken to be the
# system's; the "windows" tests check that against the list of DLLs Windows
# provides.
cmake_minimum_required(VERSION 3.16)
foreach(var DEPLOY_DIR PROGRAMS QT_PREFIX OBJDUMP OBJCOPY)
  if(NOT ${var})
    message(FATAL_ERROR "KyDeployWindows: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${DEPLOY_DIR})
file(MAKE_DIRECTORY ${DEPLOY_DIR})

set(modules "")
foreach(plugin ${PLUGINS})
  get_filename_component(sub ${plugin} DIRECTORY)
  file(COPY ${QT_PREFIX}/plugins/${plugin} DESTINATION ${DEPLOY_DIR}/${sub})
  list(APPEND modules ${QT_PREFIX}/plugins/${plugin})
endforeach()
foreach(dll ${RUNTIME_LOADED})
  file(COPY ${QT_PREFIX}/bin/${dll} DESTINATION ${DEPLOY_DIR})
  list(APPEND modules ${QT_PREFIX}/bin/${dll})
endforeach()
foreach(program ${PROGRAMS})
  file(COPY ${program} DESTINATION ${DEPLOY_DIR})
endforeach()
foreach(data ${DATA_FILES})
  file(COPY ${data} DESTINATION ${DEPLOY_DIR})
endforeach()

# Every DLL the search folders hold, by lower-case name: Windows matches DLL
# names without regard to case, and import tables do not keep it (CMake's own
# dependency walker lower-cases the names and then misses "Qt5Core.dll" on a
# case-sensitive file system, hence this walk).
set(available "")
foreach(dir ${QT_PREFIX}/bin ${SEARCH_DIRS})
  file(GLOB dlls LIST_DIRECTORIES false ${dir}/*.dll)
  foreach(dll ${dlls})
    get_filename_component(name ${dll} NAME)
    string(TOLOWER ${name} key)
    if(NOT DEFINED found_${key})
      set(found_${key} ${dll})
    endif()
  endforeach()
endforeach()

# Breadth-first over the import tables, starting at the programs and modules.
set(queue ${PROGRAMS} ${modules})
set(seen "")
while(queue)
  list(POP_FRONT queue binary)
  execute_process(COMMAND ${OBJDUMP} -p ${binary} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "KyDeployWindows: cannot read the imports of ${binary}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  foreach(line ${imports})
    string(REGEX REPLACE "DLL Name: ([^\r\n]+)" "\\1" name "${line}")
    string(STRIP "${name}" name)
    string(TOLOWER "${name}" key)
    if(key IN_LIST seen OR NOT DEFINED found_${key})
      continue() # already copied, or the system's own
    endif()
    list(APPEND seen ${key})
    file(COPY ${found_${key}} DESTINATION ${DEPLOY_DIR})
    list(APPEND queue ${found_${key}})
  endforeach()
endwhile()

# Debug information stays in the build tree; the compiler's runtime DLLs
# carry theirs too (libstdc++ alone is 20 MB of it).
#
# Each section is laid out on a page of the file (rewritten anyway to drop
# the debug information, at 512 bytes by default). Wine maps a section from
# the file, one page when it is first read, only when it starts on a page;
# any other section it reads whole into private memory when the program
# starts: code never run and pictures never shown, in every DLL. At 100 %
# that was about 30 MB of VURuv.exe's memory under Wine. Windows maps the
# image either way; each file grows by a few kB of padding.
file(GLOB_RECURSE binaries ${DEPLOY_DIR}/*.exe ${DEPLOY_DIR}/*.dll)
foreach(binary ${binaries})
  execute_process(COMMAND ${OBJCOPY} --strip-debug --file-alignment 4096 ${binary} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "KyDeployWindows: ${OBJCOPY} failed on ${binary}")
  endif()
endforeach()
