# Installation and packages. `cmake --install` puts the programs, the documents and the man
# pages in the usual GNU folders; CPack makes a flat ZIP of the Windows build and a DEB of the
# Linux build (scripts/release.sh builds both).
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME verlrock)
set(CPACK_PACKAGE_VENDOR "The verlrock project")
set(CPACK_PACKAGE_CONTACT "The verlrock project <maintainers@verlrock.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "move a unit's 12,288-byte region between a file and a serial port")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  # The ZIP is flat: the program and the two texts side by side, ready to run.
  install(TARGETS verlrock RUNTIME DESTINATION .)
  install(FILES README.md LICENSE DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGE_FILE_NAME verlrock-${PROJECT_VERSION}-win64)
else()
  install(TARGETS verlrock unitsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Compressed as Debian wants them, without a time stamp, so that builds are reproducible.
  set(packed)
  foreach(source docs/verlrock.1 docs/verlrock-unitsim.1 packaging/changelog)
    get_filename_component(name ${source} NAME)
    set(output ${PROJECT_BINARY_DIR}/packed/${name}.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packed
      COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${source} > ${output}
      DEPENDS ${PROJECT_SOURCE_DIR}/${source}
      VERBATIM)
    list(APPEND packed ${output})
  endforeach()
  add_custom_target(packed_documents ALL DEPENDS ${packed})
  install(FILES ${PROJECT_BINARY_DIR}/packed/verlrock.1.gz
                ${PROJECT_BINARY_DIR}/packed/verlrock-unitsim.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/packed/changelog.gz packaging/copyright
          DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "verlrock talks to a unit on a serial (COM) port at 115200 baud: it reads the
unit's 12,288-byte data region into a file, or writes a file's first 12,288
bytes to the unit, in 52 framed segments with a CRC-16 each. A read replaces
the file only once every segment has arrived whole, --verify reads the region
back to check what the unit stored, and --trace records the line for support.
.
The package also holds verlrock-unitsim, a simulated unit on a
pseudo-terminal, to try the tool without hardware.")
endif()

include(CPack)
