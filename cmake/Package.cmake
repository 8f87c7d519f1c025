# The Debian package: cpack -G DEB in the build folder. Library dependencies
# come from dpkg-shlibdeps; the packages below are those it cannot see.
set(CPACK_PACKAGE_NAME mirapost)
set(CPACK_PACKAGE_VENDOR "Corvistan")
set(CPACK_PACKAGE_CONTACT "Corvistan <support@mirapost.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "composer of special GSM short messages sent through a phone")
set(CPACK_PACKAGE_DESCRIPTION
  "MIRAPOST composes special GSM short messages and hands them to a mobile phone
on a serial line with AT commands in SMS PDU mode: normal, class 0, hidden
and blinking texts; voice mail, fax and e-mail indicator control; void
messages; class 0 templates stored in the SIM; blinking phonebook entries;
operator logos. A simulated phone lets every command be tried without a
phone attached.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.mirapost.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its window system plugins (xcb, wayland, offscreen) and the SQLite
# driver of the record of sent messages at run time.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
# The theme sounds (libcanberra, loaded at the first beep) reach a desktop's sound server through the PulseAudio
# driver (libcanberra itself brings the freedesktop theme and ALSA); a font
# for the windows on machines that have none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libcanberra0, libcanberra-pulse, sound-theme-freedesktop, fonts-dejavu-core")
include(CPack)
