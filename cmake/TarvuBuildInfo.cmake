# Generates tarvu_build_info.h: the version, the copyright and licence, and where an installed
# copy lives. Every target that links tarvu_platform sees it.

# Reverse-DNS id of the application: names the desktop entry, the icon and the metadata, and
# the dialog tells the desktop which entry its windows belong to.
set(TARVU_APP_ID "org.tarvu.Tarvu")

# Copyright holder and licence (LICENSE holds the licence's text): the About boxes, --version,
# the Debian copyright file and the AppStream metadata take them from here.
set(TARVU_COPYRIGHT "2026 The Tarvu developers")
set(TARVU_LICENSE "MIT")

# The installed programs find their marker file relative to their own folder, so a tree
# installed with `cmake --install --prefix` anywhere is recognised as well.
set(TARVU_INSTALLED_MARKER "${CMAKE_INSTALL_DATADIR}/tarvu/installed")
file(RELATIVE_PATH TARVU_BINDIR_TO_MARKER "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_DATADIR}/tarvu/installed")

configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvu_build_info.h.in
               ${PROJECT_BINARY_DIR}/generated/tarvu_build_info.h @ONLY)
