# The program's version is project(VERSION) in the top-level CMakeLists.txt
# and nowhere else; everything that shows it is made from it here.
#
#   KESTRUNE_VERSION_WINDOWS   "1.00": the major version and the minor one in
#                              two digits, as IP.exe's version record and the
#                              installer show it
#   KESTRUNE_VERSION_COMMAS    "1,0,0,0": the binary version of IP.exe
#   KESTRUNE_VERSION_QUAD      "1.0.0.0": the binary version of the installer

if(PROJECT_VERSION_MINOR LESS 10)
    set(KESTRUNE_VERSION_WINDOWS ${PROJECT_VERSION_MAJOR}.0${PROJECT_VERSION_MINOR})
else()
    set(KESTRUNE_VERSION_WINDOWS ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
endif()
set(KESTRUNE_VERSION_COMMAS
    "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
set(KESTRUNE_VERSION_QUAD
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

# The manual page carries the version in its title line.
configure_file(${PROJECT_SOURCE_DIR}/resources/linux/IP.1.in ${PROJECT_BINARY_DIR}/IP.1 @ONLY)
if(WIN32)
    # IP.exe's icon and version record (src/CMakeLists.txt adds it to IP).
    configure_file(${PROJECT_SOURCE_DIR}/resources/IP.rc.in ${PROJECT_BINARY_DIR}/IP.rc @ONLY)
endif()
