# Generates tarvu_build_info.h: the version and where an installed copy lives. Every target
# that links tarvu_platform sees it.

# The installed programs find their marker file relative to their own folder, so a tree
# installed with `cmake --install --prefix` anywhere is recognised as well.
set(TARVU_INSTALLED_MARKER "${CMAKE_INSTALL_DATADIR}/tarvu/installed")
file(RELATIVE_PATH TARVU_BINDIR_TO_MARKER "${CMAKE_INSTALL_FULL_BINDIR}"
     "${CMAKE_INSTALL_FULL_DATADIR}/tarvu/installed")

configure_file(${PROJECT_SOURCE_DIR}/cmake/tarvu_build_info.h.in
               ${PROJECT_BINARY_DIR}/generated/tarvu_build_info.h @ONLY)
