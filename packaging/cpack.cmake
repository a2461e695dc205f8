# The Debian package: CPack's DEB generator over the install rules of this project.
# scripts/package.sh configures a Release build with the prefix /usr and runs `cpack -G DEB`.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvu)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tarvu developers")
set(CPACK_PACKAGE_CONTACT "${tarvu_maintainer}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)

set(CPACK_DEBIAN_PACKAGE_NAME tarvu)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tarvu_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${tarvu_maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(TARVU_HOMEPAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TARVU_HOMEPAGE}")
endif()
# Qt's own texts (menus, file dialogs) in Russian; without it they stay English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
# Library dependencies are read from the programs by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The first line is the synopsis, the rest the long description; CPack indents the lines and
# turns the empty line into the paragraph break " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "test client for converters of security-alarm systems over UDP
Tarvu checks the connection (over GPRS) to a converter of a security-alarm
system. The engineer types a link packet as hexadecimal bytes, enters the
converter's IPv4 address and UDP port and the local port to listen on, and
presses Send!. Every packet sent and every datagram received is traced with
a millisecond time stamp, the peer's address and port and every byte;
packets can leave as typed or as 7E ... 7F frames with the reserved bytes
escaped.

The package holds the Qt 6 dialog tarvu and its command-line twin tarvu-cli,
which runs the same engine from a terminal and brings an echo peer for
trying the client without a converter, frame coding, message names, the
packet cipher, RSA key pairs and serial lines. Each user's settings are kept
in ~/.config/tarvu/settings.ini, compatible with the Windows program.")

include(CPack)
