# Writes motelog.service and motelog@.service from one template, at install time, when
# the prefix (also one given to `cmake --install --prefix`, or the package's) is known.
# Expects MOTELOG_UNIT_TEMPLATE, MOTELOG_UNIT_OUTPUT_DIR, MOTELOG_INSTALLED_BINDIR and
# MOTELOG_INSTALLED_DOCDIR.
set(MOTELOG_UNIT_ABOUT "motelog as a system service on the base-station PC.")
set(MOTELOG_UNIT_DESCRIPTION "motelog sensor-network base-station logger")
set(MOTELOG_UNIT_ENVIRONMENT_FILE "/etc/motelog/motelog.env")
set(MOTELOG_UNIT_STATE "motelog")
set(MOTELOG_UNIT_STATUS "motelog --status")
configure_file("${MOTELOG_UNIT_TEMPLATE}" "${MOTELOG_UNIT_OUTPUT_DIR}/motelog.service" @ONLY)

set(MOTELOG_UNIT_ABOUT "motelog for one of several base stations on this PC: motelog@NAME.service
# reads the mote on the port that /etc/motelog/NAME.env names and spools apart.")
set(MOTELOG_UNIT_DESCRIPTION "motelog sensor-network base-station logger %i")
set(MOTELOG_UNIT_ENVIRONMENT_FILE "/etc/motelog/%i.env")
set(MOTELOG_UNIT_STATE "motelog-%i")
set(MOTELOG_UNIT_STATUS "MOTELOG_STATUS=/run/motelog-NAME/status motelog --status")
configure_file("${MOTELOG_UNIT_TEMPLATE}" "${MOTELOG_UNIT_OUTPUT_DIR}/motelog@.service" @ONLY)
