# The Debian package, built from the install rules: cpack -G DEB in the build folder
# (see README "Installing"). dpkg-shlibdeps (package dpkg-dev) finds the libraries the
# executable links; the plugins Qt loads at run time are named here.
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VENDOR "Tolvane")
set(CPACK_PACKAGE_CONTACT "Tolvane <support@tolvane.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keyboard-driven application launcher")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "A small window comes up on a system-wide hotkey or from the tray; type a few letters\n"
    "of a program's name, pick it from the list and press Return to start it. Tolvane\n"
    "learns which program each typed text chose and how often each one is started.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tolvane.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plugins, so no library dependency names them: the SQLite driver of the
# catalog, the SVG icon engine (most applications' icons are SVG) and the Wayland
# platform.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6svg6, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
