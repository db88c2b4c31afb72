# SQLite compiled in from its official amalgamation, for builds that have no
# system SQLite (Debian ships none for mingw). The release tarball travels
# inside the npm package sqlite3; we take it from there with `npm pack`,
# check it against the hash below, and keep it in a cache outside the build
# folder so that a fresh build folder does not fetch it again.
#
# Defines the static library qz_sqlite_amalgamation.

set(QZ_SQLITE_NPM_PACKAGE sqlite3@6.0.1)
set(QZ_SQLITE_TARBALL sqlite-autoconf-3520000.tar.gz)  # SQLite 3.52.0
set(QZ_SQLITE_TARBALL_SHA256 f6b50b0c103392af32a8be15b2b9d25959de9a00a70c3979128aafeaa5338b3f)

if(DEFINED ENV{XDG_CACHE_HOME} AND IS_ABSOLUTE "$ENV{XDG_CACHE_HOME}")
  set(QZ_DEFAULT_DOWNLOAD_CACHE "$ENV{XDG_CACHE_HOME}/qz")
else()
  set(QZ_DEFAULT_DOWNLOAD_CACHE "$ENV{HOME}/.cache/qz")
endif()
set(QZ_DOWNLOAD_CACHE "${QZ_DEFAULT_DOWNLOAD_CACHE}" CACHE PATH "Where downloaded sources are kept between builds")

set(qz_sqlite_cached "${QZ_DOWNLOAD_CACHE}/${QZ_SQLITE_TARBALL}")

# A cached file that does not match is fetched again rather than trusted.
if(EXISTS "${qz_sqlite_cached}")
  file(SHA256 "${qz_sqlite_cached}" qz_sqlite_hash)
  if(NOT qz_sqlite_hash STREQUAL QZ_SQLITE_TARBALL_SHA256)
    message(STATUS "SQLite: ${qz_sqlite_cached} does not match its hash; fetching it again")
    file(REMOVE "${qz_sqlite_cached}")
  endif()
endif()

if(NOT EXISTS "${qz_sqlite_cached}")
  find_program(QZ_NPM npm REQUIRED)
  set(qz_fetch_dir "${CMAKE_BINARY_DIR}/sqlite-fetch")
  file(REMOVE_RECURSE "${qz_fetch_dir}")
  file(MAKE_DIRECTORY "${qz_fetch_dir}")
  message(STATUS "SQLite: npm pack ${QZ_SQLITE_NPM_PACKAGE}")
  execute_process(COMMAND ${QZ_NPM} pack ${QZ_SQLITE_NPM_PACKAGE} --silent
    WORKING_DIRECTORY "${qz_fetch_dir}" RESULT_VARIABLE qz_npm_result OUTPUT_VARIABLE qz_npm_file
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT qz_npm_result EQUAL 0 OR NOT EXISTS "${qz_fetch_dir}/${qz_npm_file}")
    message(FATAL_ERROR "SQLite: `npm pack ${QZ_SQLITE_NPM_PACKAGE}` failed (${qz_npm_result})")
  endif()
  file(ARCHIVE_EXTRACT INPUT "${qz_fetch_dir}/${qz_npm_file}" DESTINATION "${qz_fetch_dir}"
    PATTERNS "package/deps/${QZ_SQLITE_TARBALL}")
  set(qz_fetched "${qz_fetch_dir}/package/deps/${QZ_SQLITE_TARBALL}")
  if(NOT EXISTS "${qz_fetched}")
    message(FATAL_ERROR "SQLite: ${QZ_SQLITE_NPM_PACKAGE} holds no deps/${QZ_SQLITE_TARBALL}")
  endif()
  file(SHA256 "${qz_fetched}" qz_sqlite_hash)
  if(NOT qz_sqlite_hash STREQUAL QZ_SQLITE_TARBALL_SHA256)
    message(FATAL_ERROR "SQLite: ${QZ_SQLITE_TARBALL} from npm has SHA-256 ${qz_sqlite_hash}, "
      "expected ${QZ_SQLITE_TARBALL_SHA256}; refusing to build with it")
  endif()
  file(MAKE_DIRECTORY "${QZ_DOWNLOAD_CACHE}")
  file(COPY "${qz_fetched}" DESTINATION "${QZ_DOWNLOAD_CACHE}")
  file(REMOVE_RECURSE "${qz_fetch_dir}")
endif()

string(REGEX REPLACE "\\.tar\\.gz$" "" qz_sqlite_folder "${QZ_SQLITE_TARBALL}")
set(QZ_SQLITE_SOURCE_DIR "${CMAKE_BINARY_DIR}/${qz_sqlite_folder}")
if(NOT EXISTS "${QZ_SQLITE_SOURCE_DIR}/sqlite3.c")
  file(ARCHIVE_EXTRACT INPUT "${qz_sqlite_cached}" DESTINATION "${CMAKE_BINARY_DIR}"
    PATTERNS "${qz_sqlite_folder}/sqlite3.c" "${qz_sqlite_folder}/sqlite3.h")
endif()

enable_language(C)
add_library(qz_sqlite_amalgamation STATIC "${QZ_SQLITE_SOURCE_DIR}/sqlite3.c")
target_include_directories(qz_sqlite_amalgamation SYSTEM PUBLIC "${QZ_SQLITE_SOURCE_DIR}")
# The amalgamation is SQLite's code as released: its warnings are not ours.
target_compile_options(qz_sqlite_amalgamation PRIVATE -w)
# Serialized threading, as Debian's libsqlite3 is built.
target_compile_definitions(qz_sqlite_amalgamation PRIVATE SQLITE_THREADSAFE=1)
