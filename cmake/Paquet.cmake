# Installation under /usr and the Debian package (cpack -G DEB, see scripts/paquet.sh).
include(GNUInstallDirs)
set(VD_LINUX ${PROJECT_SOURCE_DIR}/packaging/linux)
set(VD_GENERE ${CMAKE_BINARY_DIR}/paquet)

install(TARGETS vendalo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The program looks for its resources in ../share/vendalo beside its binary.
install(DIRECTORY ${VD_RESSOURCES}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/vendalo PATTERN .gitkeep EXCLUDE)

# Menu entry, owner of the vendalo2: links; the package's triggers refresh the
# desktop database, so nothing registers the scheme at run time.
install(FILES ${VD_LINUX}/io.vendalo.Vendalo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${VD_LINUX}/io.vendalo.Vendalo.metainfo.xml ${VD_GENERE}/io.vendalo.Vendalo.metainfo.xml @ONLY)
install(FILES ${VD_GENERE}/io.vendalo.Vendalo.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VD_LINUX}/vendalo.bash RENAME vendalo DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Icon: the SVG, and PNGs drawn from it at the usual sizes.
install(FILES ${PROJECT_SOURCE_DIR}/resources/icones/vendalo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
find_program(VD_RSVG rsvg-convert)
find_program(VD_HELP2MAN help2man)
find_program(VD_GZIP gzip)
set(vd_paquet_sorties)
if(VD_RSVG)
  foreach(taille 16 22 24 32 48 64 128 256 512)
    set(png ${VD_GENERE}/icones/${taille}/vendalo.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${VD_GENERE}/icones/${taille}
      COMMAND ${VD_RSVG} -w ${taille} -h ${taille} -o ${png} ${PROJECT_SOURCE_DIR}/resources/icones/vendalo.svg
      DEPENDS ${PROJECT_SOURCE_DIR}/resources/icones/vendalo.svg VERBATIM)
    list(APPEND vd_paquet_sorties ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${taille}x${taille}/apps)
  endforeach()
endif()

# Man page from the --help and --version texts, so that it never drifts from them.
if(VD_HELP2MAN AND VD_GZIP)
  set(man ${VD_GENERE}/vendalo.1)
  add_custom_command(OUTPUT ${man}.gz
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
            ${VD_HELP2MAN} --no-info --no-discard-stderr --section=1 --locale=C.UTF-8
            "--name=l'assistant des appels de vente" --version-string=${PROJECT_VERSION} --include=${VD_LINUX}/vendalo.h2m
            --output=${man} $<TARGET_FILE:vendalo>
    COMMAND ${VD_GZIP} -9nf ${man}
    DEPENDS vendalo ${VD_LINUX}/vendalo.h2m VERBATIM)
  list(APPEND vd_paquet_sorties ${man}.gz)
  install(FILES ${man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
add_custom_target(vd_paquet_fichiers ALL DEPENDS ${vd_paquet_sorties})

# What Debian asks of every package.
configure_file(${VD_LINUX}/changelog ${VD_GENERE}/changelog @ONLY)
set(vd_changelog ${VD_GENERE}/doc/changelog.gz)
add_custom_command(OUTPUT ${vd_changelog}
  COMMAND ${CMAKE_COMMAND} -E copy ${VD_GENERE}/changelog ${VD_GENERE}/doc/changelog
  COMMAND ${VD_GZIP} -9nf ${VD_GENERE}/doc/changelog
  DEPENDS ${VD_GENERE}/changelog VERBATIM)
add_custom_target(vd_changelog ALL DEPENDS ${vd_changelog})
install(FILES ${vd_changelog} ${VD_LINUX}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vendalo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vendalo)
set(CPACK_PACKAGE_VENDOR Vendalo)
set(CPACK_PACKAGE_CONTACT "Équipe Vendalo <contact@vendalo.io>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "assistant for sales calls: live prompts and call analysis")
set(CPACK_PACKAGE_DESCRIPTION "Vendalo listens to sales calls made by phone or video (microphone and\nsystem sound), shows a small floating prompter during the call and\nanalyses each call afterwards: scores, coaching, follow-up e-mail.\nIt keeps a small CRM with follow-ups and calendar briefs.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://vendalo.io)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plugins and services loaded at run time, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, fonts-inter")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, gnome-keyring, xdg-utils, xdg-desktop-portal")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
