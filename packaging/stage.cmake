# Run by CPack in the staging tree before the package is built: adds the configuration
# file, the boot-time drivers, the copyright, changelog and lintian overrides, and
# compresses the man pages and the changelog as Debian wants them.
set(root "${CPACK_TEMPORARY_DIRECTORY}")
set(packaging "${CPACK_MOTELOG_PACKAGING_DIR}")
set(doc "${root}/usr/share/doc/motelog")

# Root-owned (the package's files all are) and not world-readable: it may hold the
# database password.
file(MAKE_DIRECTORY "${root}/etc/motelog")
file(COPY_FILE "${root}/usr/share/motelog/motelog.env.example" "${root}/etc/motelog/motelog.env")
file(CHMOD "${root}/etc/motelog/motelog.env" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ)

file(MAKE_DIRECTORY "${root}/usr/lib/modules-load.d" "${root}/usr/share/lintian/overrides")
file(COPY_FILE "${packaging}/modules-load.conf" "${root}/usr/lib/modules-load.d/motelog.conf")
file(COPY_FILE "${packaging}/lintian-overrides" "${root}/usr/share/lintian/overrides/motelog")
file(COPY_FILE "${packaging}/copyright" "${doc}/copyright")
file(READ "${packaging}/changelog" changelog)
string(REPLACE "@VERSION@" "${CPACK_PACKAGE_VERSION}" changelog "${changelog}")
file(WRITE "${doc}/changelog" "${changelog}")

file(GLOB_RECURSE pages "${root}/usr/share/man/*")
foreach(file IN LISTS pages ITEMS "${doc}/changelog")
  if(NOT file MATCHES "\\.gz$")
    execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "gzip ${file} failed (${status})")
    endif()
  endif()
endforeach()
