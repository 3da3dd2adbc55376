# Runs at install time: writes the desktop entry of one window program with Exec= naming the
# program where it is installed (the prefix is known only now: `cmake --install --prefix P`).
# Set by the caller: ENTRY_PROGRAM, ENTRY_TEMPLATE, and ENTRY_BINDIR and ENTRY_APPLICATIONS
# (relative to the prefix, or absolute).
cmake_path(ABSOLUTE_PATH ENTRY_BINDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE)
cmake_path(APPEND ENTRY_BINDIR "${ENTRY_PROGRAM}" OUTPUT_VARIABLE _exec)
if(_exec MATCHES "[\n\r]")
  message(FATAL_ERROR "A desktop entry cannot name a program path with a line break: ${_exec}")
endif()
# A path with a space or another character the Exec key reserves is written in double quotes, with
# " ` $ \ escaped inside; "%" is doubled, and each "\" doubled once more for the file's own escapes.
string(REPLACE "%" "%%" _exec "${_exec}")
if(_exec MATCHES "[ \t\"'\\\\<>~|&;$*?#()`]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" _exec "${_exec}")
  set(_exec "\"${_exec}\"")
endif()
string(REPLACE "\\" "\\\\" KORVANE_EXEC "${_exec}")
# Written straight to its place (no copy in the build folder that a root install would leave
# behind) and listed in install_manifest.txt like every installed file.
cmake_path(ABSOLUTE_PATH ENTRY_APPLICATIONS BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE)
set(_entry "${ENTRY_APPLICATIONS}/${ENTRY_PROGRAM}.desktop")
message(STATUS "Installing: $ENV{DESTDIR}${_entry}")
configure_file("${ENTRY_TEMPLATE}" "$ENV{DESTDIR}${_entry}" @ONLY NO_SOURCE_PERMISSIONS)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${_entry}")
