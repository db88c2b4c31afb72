# What the Windows build (mingw-w64, see mingw-w64.cmake) does differently:
# SQLite from the amalgamation, no libpq and no libinih, the header-only
# libraries taken from the host, the platform files of Windows, and every
# program and DLL in one folder so that they find each other.

enable_language(RC)

# pkg-config must not hand the host's Linux libraries to the mingw linker:
# it sees only the build's own folder, where ODBC is the system's odbc32
# (its headers come with mingw-w64).
set(QZ_WINDOWS_PKGCONFIG ${CMAKE_BINARY_DIR}/pkgconfig)
file(WRITE ${QZ_WINDOWS_PKGCONFIG}/odbc.pc
  "Name: odbc\nDescription: the Windows ODBC driver manager\nVersion: 3.80\nLibs: -lodbc32\nCflags:\n")
set(ENV{PKG_CONFIG_LIBDIR} ${QZ_WINDOWS_PKGCONFIG})
set(ENV{PKG_CONFIG_PATH} "")

# No libpq for mingw here: a server is reached through ODBC.
set(QZ_WITH_POSTGRESQL OFF CACHE BOOL "Build the PostgreSQL driver" FORCE)

include(${CMAKE_CURRENT_LIST_DIR}/SqliteAmalgamation.cmake)

# Header-only libraries are the same for every target, so the host's copies
# serve. /usr/include itself must not reach the mingw compiler (its C
# library headers would shadow mingw's), so each library's folder is linked
# into a folder of its own.
find_path(UTFCPP_INCLUDE_DIR utf8.h PATHS /usr/include/utf8cpp NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(QZ_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
foreach(folder CLI nlohmann)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: install it with scripts/deps.sh")
  endif()
  file(MAKE_DIRECTORY ${QZ_HOST_HEADERS})
  file(CREATE_LINK /usr/include/${folder} ${QZ_HOST_HEADERS}/${folder} SYMBOLIC)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QZ_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QZ_HOST_HEADERS})
set(CLI11_FOUND TRUE)
set(nlohmann_json_FOUND TRUE)

# Programs and DLLs side by side: Windows finds a program's DLLs beside it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The libraries' DLL names are their target names, without mingw's "lib".
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")

# Windows 7 and later: the registry and dialog calls we use exist there.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
