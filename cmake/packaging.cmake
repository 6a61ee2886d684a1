# Installation, the Linux .deb (through CPack), the Windows .zip (the
# package_windows target, when both Windows executables are given) and the
# floppy image for emulated Windows 95 machines (built with everything, when
# the 32-bit executable is given).
set(KESTRA32_VERSION 1.00)

if(NOT WIN32)
  include(GNUInstallDirs)
  install(TARGETS kestra32 RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(PROGRAMS scripts/kestra32-preview DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES doc/kestra32.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME kestra32)
  set(CPACK_PACKAGE_VERSION ${KESTRA32_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
      "adds PCI IDE, bridge and USB lines to a Windows 95 tree's INF files")
  set(CPACK_PACKAGE_CONTACT "KESTRA32 maintainers")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libcreg-utils)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
endif()

if(KESTRA32_WIN32_EXE AND KESTRA32_WIN64_EXE)
  set(stage ${CMAKE_BINARY_DIR}/windows-package)
  set(zip ${CMAKE_BINARY_DIR}/kestra32-${KESTRA32_VERSION}-windows.zip)
  configure_file(doc/README-windows.txt ${stage}/README.TXT @ONLY NEWLINE_STYLE CRLF)
  add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}/i686 ${stage}/x86_64
    COMMAND ${CMAKE_COMMAND} -E copy ${KESTRA32_WIN32_EXE} ${stage}/i686/KESTRA32.EXE
    COMMAND ${CMAKE_COMMAND} -E copy ${KESTRA32_WIN64_EXE} ${stage}/x86_64/KESTRA32.EXE
    COMMAND ${CMAKE_COMMAND} -E chdir ${stage}
            ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip README.TXT i686 x86_64
    DEPENDS ${KESTRA32_WIN32_EXE} ${KESTRA32_WIN64_EXE} ${stage}/README.TXT
    COMMENT "Packing ${zip}")
  add_custom_target(package_windows DEPENDS ${zip})
endif()

if(KESTRA32_WIN32_EXE AND NOT WIN32)
  set(floppy ${CMAKE_BINARY_DIR}/kestra32-${KESTRA32_VERSION}-floppy.img)
  set(floppy_readme ${CMAKE_BINARY_DIR}/floppy/README.TXT)
  configure_file(doc/README-floppy.txt ${floppy_readme} @ONLY NEWLINE_STYLE CRLF)
  add_custom_command(OUTPUT ${floppy}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${floppy}
    COMMAND mformat -i ${floppy} -C -f 1440 -v KESTRA32 ::
    COMMAND mcopy -i ${floppy} ${KESTRA32_WIN32_EXE} ::KESTRA32.EXE
    COMMAND mcopy -i ${floppy} ${floppy_readme} ::README.TXT
    DEPENDS ${KESTRA32_WIN32_EXE} ${floppy_readme}
    COMMENT "Writing ${floppy}")
  add_custom_target(package_floppy ALL DEPENDS ${floppy})
  if(KESTRA32_TESTS)
    add_test(NAME floppy_image
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/check_floppy.sh ${floppy} ${KESTRA32_WIN32_EXE}
              ${CMAKE_BINARY_DIR}/floppy-check)
  endif()
endif()

if(KESTRA32_TESTS AND NOT WIN32)
  add_test(NAME install
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/install_test.sh ${CMAKE_BINARY_DIR}
            ${CMAKE_BINARY_DIR}/install-test)
  add_test(NAME man_page COMMAND ${CMAKE_SOURCE_DIR}/scripts/check_man_page.sh
                                 ${CMAKE_SOURCE_DIR}/doc/kestra32.1)
  add_test(NAME kestra32_preview
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/kestra32-preview_test.sh
            ${CMAKE_SOURCE_DIR}/scripts/kestra32-preview $<TARGET_FILE:kestra32>
            ${CMAKE_SOURCE_DIR}/examples/WINDOWS
            ${CMAKE_SOURCE_DIR}/scripts/kestra32-preview_expected.diff
            ${CMAKE_BINARY_DIR}/preview-test)
endif()
