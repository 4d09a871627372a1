# What `cmake --install` puts where, and the Debian package that CPack builds from it.
include(GNUInstallDirs)

install(TARGETS velmar stars-relay stars-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES dist/velmar.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES dist/velmar.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
file(GLOB example_sounds CONFIGURE_DEPENDS examples/*.wav)
install(FILES examples/config.cfg ${example_sounds} DESTINATION ${CMAKE_INSTALL_DATADIR}/velmar/examples)
install(PROGRAMS examples/append-event DESTINATION ${CMAKE_INSTALL_DATADIR}/velmar/examples)
install(DIRECTORY examples/keys DESTINATION ${CMAKE_INSTALL_DATADIR}/velmar/examples
        FILES_MATCHING PATTERN "*.key")
# The README and the guide beside it, with their pictures; the project's name would give the
# folder a capital.
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/velmar)
install(FILES README.md DESTINATION ${docdir})
install(DIRECTORY docs DESTINATION ${docdir} FILES_MATCHING PATTERN "*.png" PATTERN "*.md")
install(FILES dist/copyright DESTINATION ${docdir})
install(FILES dist/dev.velmar.Velmar.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES dist/dev.velmar.Velmar.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/interfaces)

# The manual pages and the changelog go in compressed, without a time stamp, as Debian has it.
find_program(GZIP gzip)
if(NOT GZIP)
  message(FATAL_ERROR "gzip is needed to compress the manual pages")
endif()
set(compressed_docs)
foreach(source dist/man/velmar.1 dist/man/stars-relay.1 dist/man/stars-cli.1 dist/changelog)
  get_filename_component(name ${source} NAME)
  set(output ${PROJECT_BINARY_DIR}/dist/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/dist
    COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${GZIP} ${PROJECT_SOURCE_DIR}/${source} ${output}
    DEPENDS ${source} VERBATIM)
  list(APPEND compressed_docs ${output})
endforeach()
add_custom_target(velmar_compressed_docs ALL DEPENDS ${compressed_docs})
list(FILTER compressed_docs INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${compressed_docs} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/dist/changelog.gz DESTINATION ${docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmar)
set(CPACK_PACKAGE_VENDOR "Velmar developers")
set(CPACK_PACKAGE_CONTACT "Velmar developers <maintainers@velmar.dev>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client that sounds alarms for events on a Stars message relay")
# Lines of at most 80 characters, as Debian's checker wants them.
set(CPACK_PACKAGE_DESCRIPTION
    "Velmar logs in to a Stars message-relay server under a node name, subscribes\n\
to the events of the nodes named in its configuration and plays a configured\n\
sound whenever a matching event arrives; a log window shows the traffic.\n\
The package also holds stars-relay, a small local relay, and stars-cli, a\n\
console node, to try it on one machine.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to dpkg-shlibdeps: Qt Multimedia's GStreamer back end (Qt 6's
# ships in libqt6multimedia6, which the program links), the elements that decode and play a
# sound file, and the sinks for PulseAudio (PipeWire's pulse server too) and plain ALSA.
set(velmar_gstreamer_depends
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-pulseaudio, gstreamer1.0-alsa")
# The alarm journal's SQLite driver, a Qt Sql plugin, is loaded at run time too.
if(VELMAR_QT STREQUAL "5")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5multimedia5-plugins, libqt5sql5-sqlite, ${velmar_gstreamer_depends}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, ${velmar_gstreamer_depends}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-libav")
# The programs that the example configuration runs on events: speech and desktop notifications.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "espeak-ng, libnotify-bin")
include(CPack)
