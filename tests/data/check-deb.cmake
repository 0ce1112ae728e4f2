# cmake -DCPACK_COMMAND=... -DBINARY_DIR=... -DWORK_DIR=... -P check-deb.cmake
# Makes the .deb with cpack and checks its files and its declared dependencies with dpkg-deb.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${CPACK_COMMAND}" -G DEB --config "${BINARY_DIR}/CPackConfig.cmake" -B "${WORK_DIR}"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB debs "${WORK_DIR}/*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one .deb in ${WORK_DIR}, found: ${debs}")
endif()

execute_process(COMMAND dpkg-deb --contents ${debs} OUTPUT_VARIABLE contents RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-deb --contents failed")
endif()
foreach(path
    ./usr/bin/almbro ./usr/bin/planumdb
    ./usr/share/Planum/Lang.ini ./usr/share/Planum/LangEN.ini ./usr/share/Planum/LangSV.ini
    ./usr/share/applications/org.almbro.Almbro.desktop
    ./usr/share/icons/hicolor/scalable/apps/org.almbro.Almbro.svg
    ./usr/share/dbus-1/services/org.almbro.Almbro.service
    ./usr/share/man/man1/almbro.1
    ./usr/share/almbro/almbro.reg)
  string(FIND "${contents}" " ${path}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${path} is not in the package:\n${contents}")
  endif()
endforeach()

# The files that name the installation name /usr, where the package puts it.
execute_process(COMMAND dpkg-deb --fsys-tarfile ${debs} COMMAND tar -xO ./usr/share/dbus-1/services/org.almbro.Almbro.service
                OUTPUT_VARIABLE service)
if(NOT service MATCHES "\nExec=/usr/bin/almbro -Embedding\n")
  message(FATAL_ERROR "service file:\n${service}")
endif()
execute_process(COMMAND dpkg-deb --fsys-tarfile ${debs} COMMAND tar -xO ./usr/share/almbro/almbro.reg
                OUTPUT_VARIABLE reg)
if(NOT reg MATCHES "\"Common AppData\"=\"/usr/share\"")
  message(FATAL_ERROR "registry file:\n${reg}")
endif()

execute_process(COMMAND dpkg-deb --field ${debs} Depends OUTPUT_VARIABLE depends)
foreach(package libqt6widgets6 libqt6dbus6 libqt6sql6 libical3 libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins)
  if(NOT depends MATCHES "(^|[ ,])${package}([ ,(]|$)")
    message(FATAL_ERROR "Depends lacks ${package}: ${depends}")
  endif()
endforeach()
execute_process(COMMAND dpkg-deb --field ${debs} Description OUTPUT_VARIABLE description)
if(description MATCHES ";")
  message(FATAL_ERROR "Description holds a list separator:\n${description}")
endif()
message(STATUS "${debs}\nDepends: ${depends}")
