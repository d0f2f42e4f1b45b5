# Writes and installs the menu entry at install time, when the prefix is known (cmake --install
# --prefix may change it). The system's PATH finds a program in /usr/bin or /usr/local/bin; an
# install anywhere else (~/.local) names the program by its path, so that its menu entry works
# before the user logs in again. Set by the install: ZANVEL_DESKTOP_TEMPLATE,
# ZANVEL_DESKTOP_FILE, ZANVEL_BINDIR and ZANVEL_APPLICATIONS (both below the prefix).
set(bindir "${CMAKE_INSTALL_PREFIX}/${ZANVEL_BINDIR}")
if(bindir STREQUAL "/usr/bin" OR bindir STREQUAL "/usr/local/bin")
    set(TRY_EXEC zanvel-tftp)
    set(EXEC zanvel-tftp)
else()
    set(TRY_EXEC "${bindir}/zanvel-tftp")
    # Quoted as desktops read Exec lines: a backslash is four in the file, and
    # ", ` and $ are escaped by a backslash that the file writes as two.
    set(EXEC "${TRY_EXEC}")
    string(REPLACE "\\" "\\\\\\\\" EXEC "${EXEC}")
    foreach(special "\"" "`" "$")
        string(REPLACE "${special}" "\\\\${special}" EXEC "${EXEC}")
    endforeach()
    string(REPLACE "%" "%%" EXEC "${EXEC}")
    set(EXEC "\"${EXEC}\"")
endif()
configure_file("${ZANVEL_DESKTOP_TEMPLATE}" "${ZANVEL_DESKTOP_FILE}" @ONLY)
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${ZANVEL_APPLICATIONS}" TYPE FILE
     FILES "${ZANVEL_DESKTOP_FILE}")
