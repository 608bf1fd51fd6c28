# Installing the program and packing it: a Debian package with the manual page,
# or a zip for Windows.
#   cmake --install build --prefix P    P/bin/octets, P/share/man/man1/octets.1
#   cpack -G DEB  (in build)            octets_<version>_<arch>.deb
#   cpack -G ZIP  (in build-win)        octets-<version>-win64.zip

include(GNUInstallDirs)

if(WIN32)
  # A zip that opens onto the program and a few words on how to start it; the
  # text is given Windows line ends so that every editor shows its lines.
  configure_file(doc/LISEZMOI.txt.in LISEZMOI.txt @ONLY NEWLINE_STYLE CRLF)
  install(TARGETS octets RUNTIME DESTINATION .)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LISEZMOI.txt DESTINATION .)
else()
  install(TARGETS octets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES doc/octets.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The README's picture goes beside it, not into a folder doc inside the doc
  # folder, so the installed README links to it there.
  file(READ ${CMAKE_CURRENT_SOURCE_DIR}/README.md readme)
  string(REPLACE "](doc/views.svg)" "](views.svg)" readme "${readme}")
  file(GENERATE OUTPUT README.md CONTENT "${readme}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.md doc/changelog doc/copyright doc/views.svg
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME octets)
set(CPACK_PACKAGE_VENDOR "octets")
set(CPACK_PACKAGE_CONTACT "octets maintainers <maintainers@users.noreply.c-seed-510678c9.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "console tool in French to see any file as text or as the bytes it is made of")
set(CPACK_PACKAGE_DESCRIPTION
    "octets is a small interactive console program, with its dialogue in French,
whose point is that every file is only a sequence of bytes. From one menu it
writes a text file line by line or adds lines to one, shows any file as text
or as the decimal, hexadecimal or binary values of its bytes, and enciphers a
file in place with a one-byte key by exclusive or (the same key a second time
restores it). It reads everything from standard input, so it can also be
driven from a script.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY octets)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (package dpkg-dev) works out the libraries the program needs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Debian keeps manual pages and changelogs compressed; cmake --install leaves
# them plain.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/compress_for_debian.cmake)
# Whatever the umask of the one who packs it.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
endif()

include(CPack)
