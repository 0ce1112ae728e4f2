# Run by cmake --install and cpack: writes the D-Bus service file and the registry file for the
# prefix being installed to, which is known only now. ALMBRO_DATA_SOURCE, ALMBRO_DATA_BINARY,
# ALMBRO_BINDIR and ALMBRO_DATADIR (relative to the prefix) are set before this runs.
set(bindir "${CMAKE_INSTALL_PREFIX}/${ALMBRO_BINDIR}")
set(datadir "${CMAKE_INSTALL_PREFIX}/${ALMBRO_DATADIR}")

# The bus splits Exec as a shell would: a path with blanks is quoted.
if(bindir MATCHES "[ \t]")
  set(ALMBRO_EXEC "\"${bindir}/almbro\"")
else()
  set(ALMBRO_EXEC "${bindir}/almbro")
endif()
# Registry file strings escape backslashes and quotes.
string(REPLACE "\\" "\\\\" ALMBRO_COMMON_APPDATA "${datadir}")
string(REPLACE "\"" "\\\"" ALMBRO_COMMON_APPDATA "${ALMBRO_COMMON_APPDATA}")

# Each install makes its own copies, so two installs at once into different places do not mix.
string(MD5 hash "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(generated "${ALMBRO_DATA_BINARY}/installed-${hash}")
configure_file("${ALMBRO_DATA_SOURCE}/org.almbro.Almbro.service.in" "${generated}/org.almbro.Almbro.service" @ONLY)
configure_file("${ALMBRO_DATA_SOURCE}/almbro.reg.in" "${generated}/almbro.reg" @ONLY)
file(INSTALL DESTINATION "${datadir}/dbus-1/services" TYPE FILE FILES "${generated}/org.almbro.Almbro.service")
file(INSTALL DESTINATION "${datadir}/almbro" TYPE FILE FILES "${generated}/almbro.reg")
file(REMOVE_RECURSE "${generated}")
