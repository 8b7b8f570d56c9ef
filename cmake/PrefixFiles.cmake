# Run by "cmake --install": writes the installed files that name the install
# prefix, with the prefix given at install time (--prefix P), not the one
# configured, so that they point into P wherever the tree is installed:
# - the unit, whose ExecStartPre/ExecStart/ExecStopPost run P/bin/zivo;
# - the example policy, whose DOCTYPE names the DTD installed beside it by
#   its full path, so the file still validates once copied to /etc/zivo/.
# Set before it runs: ZIVO_SOURCE_DIR, ZIVO_STAGE_DIR, ZIVO_BINDIR_REL,
# ZIVO_EXAMPLES_REL.
set(ZIVO_BINDIR "${CMAKE_INSTALL_PREFIX}/${ZIVO_BINDIR_REL}")
set(ZIVO_EXAMPLES_DIR "${CMAKE_INSTALL_PREFIX}/${ZIVO_EXAMPLES_REL}")
configure_file("${ZIVO_SOURCE_DIR}/dist/zivo-run.service.in" "${ZIVO_STAGE_DIR}/zivo-run.service"
  @ONLY)
file(READ "${ZIVO_SOURCE_DIR}/docs/velmarconfig.xml" policy)
string(REPLACE "SYSTEM \"velmarconfig.dtd\"" "SYSTEM \"${ZIVO_EXAMPLES_DIR}/velmarconfig.dtd\""
  policy "${policy}")
file(WRITE "${ZIVO_STAGE_DIR}/velmarconfig.xml" "${policy}")
