# Writes the systemd units at install time, when the prefix is known (it
# differs between `cmake --install --prefix` and the package): for the
# system instance into <prefix>/<dir>/system/ and for user instances into
# <prefix>/<dir>/user/. Templates mark lines for one instance only with
# @system@ or @user@; @SANDBOX@ stands for sandbox.in and @TARNALERT_TOOL@
# for the installed tool.
#
# Set by the install(CODE) before this script: TARNALERT_UNIT_TEMPLATES (the
# template directory), TARNALERT_UNIT_DIR and TARNALERT_UNIT_BINDIR (relative
# to the prefix, or absolute).
foreach(name UNIT_DIR UNIT_BINDIR)
  if(IS_ABSOLUTE "${TARNALERT_${name}}")
    set(${name} "${TARNALERT_${name}}")
  else()
    set(${name} "${CMAKE_INSTALL_PREFIX}/${TARNALERT_${name}}")
  endif()
endforeach()
file(READ ${TARNALERT_UNIT_TEMPLATES}/sandbox.in sandbox)
string(STRIP "${sandbox}" sandbox)
foreach(instance system user)
  set(other user)
  if(instance STREQUAL "user")
    set(other system)
  endif()
  foreach(unit tarnalert-outbox.service tarnalert-outbox.timer tarnalert-forward.service)
    file(READ ${TARNALERT_UNIT_TEMPLATES}/${unit}.in text)
    string(REPLACE "@SANDBOX@" "${sandbox}" text "${text}")
    string(REPLACE "@TARNALERT_TOOL@" "${UNIT_BINDIR}/tarnalert" text "${text}")
    string(REGEX REPLACE "(^|\n)@${other}@[^\n]*" "" text "${text}")
    string(REPLACE "@${instance}@" "" text "${text}")
    set(path "$ENV{DESTDIR}${UNIT_DIR}/${instance}/${unit}")
    message(STATUS "Installing: ${path}")
    file(WRITE ${path} "${text}")
  endforeach()
endforeach()
