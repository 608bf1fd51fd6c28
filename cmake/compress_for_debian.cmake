# Run by CPack once the files are staged: in a Debian package the manual page
# and the changelog go compressed, as man-db and the Debian rules expect, and
# without the name and time that gzip would otherwise record, so that two
# builds give the same bytes.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(GLOB_RECURSE files "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man1/*.1"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/octets/changelog")
foreach(file IN LISTS files)
  execute_process(COMMAND gzip -n -9 -f "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -n -9 ${file} failed")
  endif()
endforeach()
