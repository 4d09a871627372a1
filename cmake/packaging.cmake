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
# The README with the pictures it shows; the project's name would give the folder a capital.
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/velmar)
install(FILES README.md DESTINATION ${docdir})
install(DIRECTORY docs DESTINATION ${docdir} FILES_MATCHING PATTERN "*.png")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmar)
set(CPACK_PACKAGE_VENDOR "Velmar developers")
set(CPACK_PACKAGE_CONTACT "Velmar developers <velmar@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client that sounds alarms for events on a Stars message relay")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmar logs in to a Stars message-relay server under a node name, subscribes to the events\n\
of the nodes named in its configuration and plays a configured sound whenever a matching\n\
event arrives; a log window shows the traffic. The package also holds stars-relay, a small\n\
local relay, and stars-cli, a console node, to try it on one machine.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to dpkg-shlibdeps: Qt Multimedia's GStreamer back end, the
# elements that decode and play a sound file, and the sinks for PulseAudio (PipeWire's pulse
# server too) and plain ALSA.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt5multimedia5-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-pulseaudio, gstreamer1.0-alsa")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gstreamer1.0-libav")
include(CPack)
