# libzstd in two shapes: zstd::decoder (what the updater links: decompression
# only) and zstd::full (what dvk links: compression too).
#
# Natively both are Debian's libzstd-dev. Debian has no MinGW build, so the
# Windows build makes its own from Debian's source package of zstd, pinned
# here and only here, fetched once into the build tree and cross-compiled with
# the library's own lib/ makefile.

set(DVK_ZSTD_DEBIAN_VERSION "1.5.4+dfsg2-5")
set(DVK_ZSTD_DEBIAN_SUITE "bookworm")

if(NOT CMAKE_CROSSCOMPILING)
  find_path(DVK_ZSTD_INCLUDE_DIR zstd.h)
  find_library(DVK_ZSTD_LIBRARY NAMES zstd)
  if(NOT DVK_ZSTD_INCLUDE_DIR OR NOT DVK_ZSTD_LIBRARY)
    message(FATAL_ERROR "libzstd not found: install libzstd-dev (scripts/bootstrap.sh does)")
  endif()
  foreach(shape decoder full)
    add_library(zstd::${shape} UNKNOWN IMPORTED GLOBAL)
    set_target_properties(zstd::${shape} PROPERTIES
      IMPORTED_LOCATION "${DVK_ZSTD_LIBRARY}"
      INTERFACE_INCLUDE_DIRECTORIES "${DVK_ZSTD_INCLUDE_DIR}")
  endforeach()
  return()
endif()

set(DVK_ZSTD_DIR "${CMAKE_BINARY_DIR}/_deps/zstd")
set(DVK_ZSTD_SOURCE "${DVK_ZSTD_DIR}/source")

# At configure time, so that a missing network is said once, clearly, and a
# build tree that already has the source never downloads it again.
execute_process(
  COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/../scripts/fetch-zstd-source.sh"
          "${DVK_ZSTD_DEBIAN_VERSION}" "${DVK_ZSTD_DEBIAN_SUITE}" "${DVK_ZSTD_DIR}"
  RESULT_VARIABLE dvk_zstd_fetch)
if(NOT dvk_zstd_fetch EQUAL 0)
  message(FATAL_ERROR "Could not fetch Debian's source of libzstd ${DVK_ZSTD_DEBIAN_VERSION}"
                      " (see the zstd: lines above); the Windows build cannot go on without it.")
endif()

set(dvk_zstd_cc "${CMAKE_C_COMPILER}")
if(CMAKE_C_COMPILER_LAUNCHER)
  string(REPLACE ";" " " dvk_zstd_launcher "${CMAKE_C_COMPILER_LAUNCHER}")
  set(dvk_zstd_cc "${dvk_zstd_launcher} ${CMAKE_C_COMPILER}")
endif()
find_program(DVK_MAKE NAMES make gmake REQUIRED)

# One static library per shape, each in its own folder of the build tree (the
# makefile's BUILD_DIR), so the source stays untouched and both build at once.
# The folder starts empty: the makefile neither tracks flags nor drops stale
# archive members, and ninja reruns the command whenever its flags change.
function(dvk_zstd_library shape)
  set(out "${DVK_ZSTD_DIR}/${shape}")
  set(lib "${out}/static/libzstd.a")
  add_custom_command(
    OUTPUT "${lib}"
    COMMAND "${CMAKE_COMMAND}" -E rm -rf "${out}"
    COMMAND "${DVK_MAKE}" -s -C "${DVK_ZSTD_SOURCE}/lib" "BUILD_DIR=${out}" "${lib}"
            "CC=${dvk_zstd_cc}" "AR=${CMAKE_AR}" TARGET_SYSTEM=Windows_NT
            ZSTD_LEGACY_SUPPORT=0 ZSTD_LIB_DEPRECATED=0 ZSTD_LIB_DICTBUILDER=0 ${ARGN}
    DEPENDS "${DVK_ZSTD_SOURCE}/.version"
    COMMENT "Building libzstd (${shape}) for MinGW from Debian's source ${DVK_ZSTD_DEBIAN_VERSION}"
    VERBATIM)
  add_custom_target(dvk_zstd_${shape} DEPENDS "${lib}")
  add_library(zstd::${shape} STATIC IMPORTED GLOBAL)
  set_target_properties(zstd::${shape} PROPERTIES
    IMPORTED_LOCATION "${lib}"
    INTERFACE_INCLUDE_DIRECTORIES "${DVK_ZSTD_SOURCE}/lib")
  add_dependencies(zstd::${shape} dvk_zstd_${shape})
endfunction()

dvk_zstd_library(decoder ZSTD_LIB_COMPRESSION=0)
dvk_zstd_library(full)
