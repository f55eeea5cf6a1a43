# Installation, and the Debian packages: webfind (the tool, its manual page,
# shell completions, firewall profiles and the watch's service),
# webfind-announce (the other half: it makes a host findable, with its
# service) and webfind-responder (the simulated device, which can send
# hostile traffic on purpose, so that no user's package carries it). Manual pages and the changelog are installed
# compressed, as Debian's policy wants; a description's lines are indented,
# and its empty lines turned into " .", by CPack. The Windows zip, with both Windows
# builds, is made by cmake/WindowsZip.cmake (make package).

include(GNUInstallDirs)
if(WIN32)
  install(TARGETS webfind webfind-announce RUNTIME DESTINATION . COMPONENT webfind)
  install(FILES docs/README-windows.txt DESTINATION . COMPONENT webfind)
  return()
endif()

# gzip -9n: no name or time stamp in the file, so the package is the same
# from build to build.
find_program(GZIP gzip REQUIRED)
function(webfind_gzip source output)
  add_custom_command(OUTPUT ${output} COMMAND ${GZIP} -9n -c ${source} > ${output} DEPENDS ${source} VERBATIM)
endfunction()
set(packaged ${CMAKE_BINARY_DIR}/packaged)
file(MAKE_DIRECTORY ${packaged})
webfind_gzip(${PROJECT_SOURCE_DIR}/docs/webfind.1 ${packaged}/webfind.1.gz)
webfind_gzip(${PROJECT_SOURCE_DIR}/docs/webfind-responder.1 ${packaged}/webfind-responder.1.gz)
webfind_gzip(${PROJECT_SOURCE_DIR}/docs/webfind-announce.1 ${packaged}/webfind-announce.1.gz)
webfind_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${packaged}/changelog.gz)
add_custom_target(packaged_files ALL DEPENDS ${packaged}/webfind.1.gz ${packaged}/webfind-responder.1.gz
                                             ${packaged}/webfind-announce.1.gz ${packaged}/changelog.gz)

install(TARGETS webfind RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT webfind)
install(FILES ${packaged}/webfind.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT webfind)
install(FILES packaging/copyright ${packaged}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/webfind
        COMPONENT webfind)
# The firewalls look for their profiles in these places, whatever the
# prefix; the nftables snippet is an example to adapt, so it goes with the
# documentation.
install(FILES firewall/ufw-webfind DESTINATION /etc/ufw/applications.d RENAME webfind COMPONENT webfind)
install(FILES firewall/firewalld-webfind.xml DESTINATION /usr/lib/firewalld/services RENAME webfind.xml
        COMPONENT webfind)
install(FILES firewall/nftables-webfind.nft DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/webfind COMPONENT webfind)
# The watch as a service (not enabled), with the program where this
# installation puts it: known only as it installs (a package's prefix is not
# the build's).
install(CODE "set(WEBFIND_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/webfind\")
              configure_file(\"${PROJECT_SOURCE_DIR}/packaging/webfind-watch.service.in\"
                             \"${packaged}/webfind-watch.service\" @ONLY)" COMPONENT webfind)
install(FILES ${packaged}/webfind-watch.service DESTINATION /lib/systemd/system COMPONENT webfind)
install(FILES packaging/default-webfind DESTINATION /etc/default RENAME webfind COMPONENT webfind)
# Each shell's folder for completions that come with a package.
install(FILES completions/webfind.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME webfind COMPONENT webfind)
install(FILES completions/_webfind DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions COMPONENT webfind)
install(FILES completions/webfind.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d
        COMPONENT webfind)

install(TARGETS webfind-announce RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT announce)
install(FILES ${packaged}/webfind-announce.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT announce)
install(FILES packaging/copyright ${packaged}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/webfind-announce
        COMPONENT announce)
install(CODE "set(ANNOUNCE_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/webfind-announce\")
              configure_file(\"${PROJECT_SOURCE_DIR}/packaging/webfind-announce.service.in\"
                             \"${packaged}/webfind-announce.service\" @ONLY)" COMPONENT announce)
install(FILES ${packaged}/webfind-announce.service DESTINATION /lib/systemd/system COMPONENT announce)
install(FILES packaging/default-webfind-announce DESTINATION /etc/default RENAME webfind-announce COMPONENT announce)
install(FILES firewall/ufw-webfind-announce DESTINATION /etc/ufw/applications.d RENAME webfind-announce
        COMPONENT announce)
install(FILES firewall/firewalld-webfind-announce.xml DESTINATION /usr/lib/firewalld/services
        RENAME webfind-announce.xml COMPONENT announce)
install(FILES firewall/nftables-webfind-announce.nft DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/webfind-announce
        COMPONENT announce)
install(FILES completions/webfind-announce.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME webfind-announce COMPONENT announce)
install(FILES completions/_webfind-announce DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions
        COMPONENT announce)
install(FILES completions/webfind-announce.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d
        COMPONENT announce)

install(TARGETS webfind-responder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT responder)
install(FILES ${packaged}/webfind-responder.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT responder)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/webfind-responder COMPONENT responder)
install(FILES ${packaged}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/webfind-responder
        COMPONENT responder)

file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "/etc/default/webfind\n/etc/ufw/applications.d/webfind\n")
file(WRITE ${CMAKE_BINARY_DIR}/debian-announce/conffiles
     "/etc/default/webfind-announce\n/etc/ufw/applications.d/webfind-announce\n")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL webfind announce responder)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_NAME webfind)
set(CPACK_PACKAGE_CONTACT "webfind developers <webfind@example.org>")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_WEBFIND_PACKAGE_NAME webfind)
set(CPACK_DEBIAN_WEBFIND_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
# libcurl is loaded by name when --check first fetches a page: no symbol
# of it for dpkg-shlibdeps to find.
set(CPACK_DEBIAN_WEBFIND_PACKAGE_DEPENDS "libcurl4 (>= 7.86)")
set(CPACK_DEBIAN_WEBFIND_PACKAGE_RECOMMENDS "xdg-utils, ieee-data")
set(CPACK_DEBIAN_WEBFIND_DESCRIPTION "find the devices on the local network that announce a web interface
webfind sends a small discovery probe to a multicast group, collects the
answers of the devices on the local network that announce a web interface
(printers, cameras, routers, NAS boxes), lists each one's name and URL, and
opens them in the desktop's browser, or one page that links them all.

It can print JSON for scripts, watch the network for devices that come and
go, and explain why nothing answered (a host firewall, the wrong interface,
WSL). Shell completions and ufw and firewalld profiles come with it, and a
systemd service (not enabled) that keeps a watch's Prometheus metrics for
node_exporter.")

set(CPACK_DEBIAN_ANNOUNCE_PACKAGE_NAME webfind-announce)
set(CPACK_DEBIAN_ANNOUNCE_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian-announce/conffiles)
set(CPACK_DEBIAN_ANNOUNCE_DESCRIPTION "make this host findable by webfind
webfind-announce answers the discovery probes of webfind with this host's
name and the URL of its web interface (a NAS, a home server, a lab
instrument's PC), each network told the address it can reach, following
interfaces as they come and go.

It answers only probes sent to the group from a source on the link they
came in on, at most 10 answers a second to one source and 500 to all:
forged probes cannot make it flood anyone. A systemd service (not enabled)
runs it as a user of its own with no privilege.")

set(CPACK_DEBIAN_RESPONDER_PACKAGE_NAME webfind-responder)
set(CPACK_DEBIAN_RESPONDER_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_RESPONDER_DESCRIPTION "simulated devices for testing webfind
webfind-responder answers webfind's discovery probes as a device on the
local network would: one device or many from consecutive addresses, with
delays, repeats, and on purpose malformed or hostile datagrams.

It is for testing webfind and for people who build devices that speak the
discovery protocol. Run it only inside a private network namespace or on a
network you own.")
include(CPack)
