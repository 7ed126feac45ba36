# What `cmake --install` puts under the prefix, and the Debian package made from it:
#   bin/korimado                          the program
#   lib/korimado/korimado_preview_web.so  the preview's web engine, loaded on first use
#   share/korimado/                       the bundled resources (Bundle looks there)
#   share/applications, share/metainfo, share/icons/hicolor   the desktop's entry, catalogue and icon
#   share/doc/korimado, share/man/man1    copyright, changelog and the manual pages
set(KORIMADO_APP_ID "app.korimado.Korimado")
set(desktop "${PROJECT_SOURCE_DIR}/resources/desktop")

install(TARGETS korimado RUNTIME DESTINATION bin)
# A folder below lib/korimado: a shared object right in a lib folder's subfolder makes the package
# run ldconfig on install and removal, which a private module does not need.
install(TARGETS korimado_preview_web LIBRARY DESTINATION lib/korimado/modules)
# The scripting client, once it is built.
if(TARGET korimado-event)
  install(TARGETS korimado-event RUNTIME DESTINATION bin)
endif()

# Everything the program reads at run time; the generators and sources of generated files stay behind.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/resources/" DESTINATION share/korimado
  PATTERN "tools" EXCLUDE
  PATTERN "desktop" EXCLUDE
  PATTERN "*.py" EXCLUDE
  PATTERN "*.mjs" EXCLUDE
  PATTERN "*.ucm" EXCLUDE
  PATTERN "__pycache__" EXCLUDE
  PATTERN ".git*" EXCLUDE)

install(FILES "${desktop}/${KORIMADO_APP_ID}.desktop" DESTINATION share/applications)
install(FILES "${desktop}/${KORIMADO_APP_ID}.metainfo.xml" DESTINATION share/metainfo)
install(FILES "${desktop}/icons/${KORIMADO_APP_ID}.svg" DESTINATION share/icons/hicolor/scalable/apps)
install(DIRECTORY "${desktop}/icons/hicolor/" DESTINATION share/icons/hicolor)

# Debian's documents: the copyright as is, the changelog and the manual pages compressed as Debian
# wants them (gzip -9, no name or time stamp inside).
set(packaging "${PROJECT_SOURCE_DIR}/packaging")
set(packaged_docs "")
foreach(page korimado.1 korimado-event.1 changelog)
  set(compressed "${CMAKE_BINARY_DIR}/packaging/${page}.gz")
  add_custom_command(OUTPUT "${compressed}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${CMAKE_BINARY_DIR}/packaging"
    COMMAND gzip -9n -c "${packaging}/${page}" > "${compressed}"
    DEPENDS "${packaging}/${page}" VERBATIM)
  list(APPEND packaged_docs "${compressed}")
endforeach()
add_custom_target(korimado_docs ALL DEPENDS ${packaged_docs})
install(FILES "${CMAKE_BINARY_DIR}/packaging/korimado.1.gz" "${CMAKE_BINARY_DIR}/packaging/korimado-event.1.gz"
  DESTINATION share/man/man1)
install(FILES "${packaging}/copyright" "${CMAKE_BINARY_DIR}/packaging/changelog.gz" DESTINATION share/doc/korimado)

# Installing builds what it installs (scripts/package builds those targets), not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The Debian package: scripts/package runs `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME "korimado")
set(CPACK_PACKAGE_VENDOR "Korimado")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fast plain-text and source-code editor with a Japanese user interface")
set(CPACK_PACKAGE_DESCRIPTION
  "Korimado opens text in 20 encodings and saves it back byte for byte, edits\nwith several carets and column selections, highlights syntax, previews\nMarkdown, HTML and SVG, and searches and replaces within a file, with lists\nof rules and across whole folders.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korimado <korimado@korimado.app>")
set(CPACK_DEBIAN_PACKAGE_SECTION "editors")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The libraries come from dpkg-shlibdeps; what runs without being linked is named here: the web
# engine's helper process and Qt's Japanese translations of its own dialogs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6webenginecore6-bin, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-ipafont-gothic, fonts-noto-color-emoji, qt6-wayland")
set(CPACK_DEBIAN_COMPRESSION_TYPE "gzip")
include(CPack)
