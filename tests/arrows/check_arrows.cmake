# The layout's arrows, checked on every #include of src/:
#   ui, cli -> report -> run -> {engine, store};  engine -> html -> text;  store -> text.
# Each folder names the folders it may include besides its own; the two shells never include
# each other, and only they read the generated version header; Qt appears in src/ui alone.
# And the store is the one room that calls the system on files: no source outside src/store
# opens, renames, links, removes, flushes, truncates or locks a file, or sets its owner,
# extended attributes or ACLs (a call by any of those names, a method of ours named so aside).
# Run as: cmake -DSOURCE_DIR=<repository> -P check_arrows.cmake
cmake_minimum_required(VERSION 3.25)
set(reaches_text "")
set(reaches_html text)
set(reaches_engine html text)
set(reaches_store text)
set(reaches_run engine html text store)
set(reaches_report run engine html text store)
set(reaches_cli report run engine html text store)
set(reaches_ui report run engine html text store)

# The calls, as written in C or C++ (`::open(`, `fs::rename(`, `openat(`), not as a method's
# (`x.open(`, `p->open(`).
set(system_call_names "open|openat|openat2|creat|rename|renameat|renameat2|link|linkat|symlink|symlinkat|unlink|unlinkat")
string(APPEND system_call_names "|fsync|fdatasync|sync_file_range|fchown|fchownat|lchown|chown|ftruncate|flock")
string(APPEND system_call_names "|[fl]?(set|get|list|remove)xattr|acl_[a-z_]+")
set(system_call "(^|[^A-Za-z0-9_.>])(${system_call_names})[ \t]*\\(")

file(GLOB_RECURSE sources "${SOURCE_DIR}/src/*.h" "${SOURCE_DIR}/src/*.cpp" "${SOURCE_DIR}/src/*.inc" "${SOURCE_DIR}/src/*.in")
set(faults "")
foreach(source IN LISTS sources)
  file(RELATIVE_PATH relative "${SOURCE_DIR}/src" "${source}")
  string(REGEX MATCH "^[^/]+" layer "${relative}")
  if(NOT DEFINED reaches_${layer})
    continue()  # src/version.h.in and the like belong to no layer
  endif()
  if(NOT layer STREQUAL "store")
    file(STRINGS "${source}" calls REGEX "${system_call}")
    foreach(line IN LISTS calls)
      string(REGEX REPLACE "//.*$" "" code "${line}")  # what a comment says is no call
      if(code MATCHES "${system_call}")
        string(STRIP "${code}" code)
        string(REPLACE ";" "" code "${code}")  # a list's separator in CMake
        list(APPEND faults "${relative}: a call to the system on files outside src/store: ${code}")
      endif()
    endforeach()
  endif()
  file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" target "${line}")
    if(line MATCHES "<Q[A-Za-z]*>" OR target MATCHES "^Qt")
      if(NOT layer STREQUAL "ui")
        list(APPEND faults "${relative}: Qt below the desktop program: ${target}")
      endif()
      continue()
    endif()
    if(target STREQUAL "version.h")
      if(NOT layer STREQUAL "cli" AND NOT layer STREQUAL "ui")
        list(APPEND faults "${relative}: only the shells read the version: ${target}")
      endif()
      continue()
    endif()
    string(REGEX MATCH "^[^/]+/" prefix "${target}")
    string(REGEX REPLACE "/$" "" included "${prefix}")
    if(included STREQUAL "" OR NOT DEFINED reaches_${included})
      continue()  # a system or library header
    endif()
    if(included STREQUAL layer)
      continue()
    endif()
    if(NOT included IN_LIST reaches_${layer})
      list(APPEND faults "${relative}: ${layer} must not include ${target}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " listed)
  message(FATAL_ERROR "sources against the layout's arrows:\n  ${listed}")
endif()
message(STATUS "every include of src/ follows the arrows, and only the store calls the system on files")
