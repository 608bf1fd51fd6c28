# Run by CPack once the files are staged: in a Debian package the manual page
# goes compressed, as man-db and the Debian rules expect.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man1/*.1")
foreach(page IN LISTS pages)
  file(ARCHIVE_CREATE OUTPUT "${page}.gz" PATHS "${page}" FORMAT raw COMPRESSION GZip
       COMPRESSION_LEVEL 9)
  file(REMOVE "${page}")
endforeach()
