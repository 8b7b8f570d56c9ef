# What "cmake --install" lays down: the shared library with its soname, the
# public headers, zivo, the example policy with its DTD, a CMake package
# (find_package(zivorivizo) gives zivorivizo::zivorivizo) and a pkg-config
# file, and the simulation library with its own headers, package component and
# pkg-config file. Included from the top-level CMakeLists.txt after the targets exist.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

target_include_directories(zivorivizo INTERFACE
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
# The public headers start threads of their own (std::jthread members).
target_link_libraries(zivorivizo INTERFACE Threads::Threads)

install(TARGETS zivorivizo EXPORT zivorivizoTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
install(DIRECTORY include/zivorivizo DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# Every installed file that names a place finds it relative to itself (the
# CMake package through PACKAGE_PREFIX_DIR, the .pc files through
# ${pcfiledir}) or is written at install time with the prefix given then
# (PrefixFiles.cmake), so "cmake --install build --prefix P" gives a tree
# that works from P.
set(ZIVO_EXAMPLES_REL ${CMAKE_INSTALL_DATADIR}/zivorivizo/examples)
set(ZIVO_STAGE_DIR ${CMAKE_CURRENT_BINARY_DIR}/install-stage)
install(CODE "set(ZIVO_SOURCE_DIR \"${CMAKE_CURRENT_SOURCE_DIR}\")
  set(ZIVO_STAGE_DIR \"${ZIVO_STAGE_DIR}\")
  set(ZIVO_BINDIR_REL \"${CMAKE_INSTALL_BINDIR}\")
  set(ZIVO_EXAMPLES_REL \"${ZIVO_EXAMPLES_REL}\")")
install(SCRIPT cmake/PrefixFiles.cmake)
install(FILES ${ZIVO_STAGE_DIR}/velmarconfig.xml docs/velmarconfig.dtd
  DESTINATION ${ZIVO_EXAMPLES_REL})
# Policies for kinds of machines, beside the grammar they declare.
file(GLOB ZIVO_EXAMPLE_POLICIES CONFIGURE_DEPENDS examples/policies/*.xml)
install(FILES ${ZIVO_EXAMPLE_POLICIES} DESTINATION ${ZIVO_EXAMPLES_REL})

set(ZIVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zivorivizo)
install(EXPORT zivorivizoTargets NAMESPACE zivorivizo:: DESTINATION ${ZIVO_CMAKE_DIR})
configure_package_config_file(cmake/zivorivizoConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/zivorivizoConfig.cmake INSTALL_DESTINATION ${ZIVO_CMAKE_DIR}
  PATH_VARS ZIVO_EXAMPLES_REL)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zivorivizoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zivorivizoConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/zivorivizoConfigVersion.cmake DESTINATION ${ZIVO_CMAKE_DIR})

# The prefix as seen from the .pc file's folder ("../.." for lib/pkgconfig).
file(RELATIVE_PATH ZIVO_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" ZIVO_PC_TO_PREFIX "${ZIVO_PC_TO_PREFIX}")
configure_file(cmake/zivorivizo.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zivorivizo.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zivorivizo.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The policy daemon's unit file, pointing at the installed zivo, and the man
# page of every zivo command.
install(FILES ${ZIVO_STAGE_DIR}/zivo-run.service DESTINATION lib/systemd/system)
install(FILES dist/zivo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES dist/zivo.bash-completion DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME zivo)

# The simulation library for integrators' tests, with headers of its own:
# find_package(zivorivizo COMPONENTS sim) gives zivorivizo::sim, and
# pkg-config zivorivizo-sim.
set_target_properties(zivorivizo_sim_shared PROPERTIES EXPORT_NAME sim)
target_include_directories(zivorivizo_sim_shared INTERFACE
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
install(TARGETS zivorivizo_sim_shared EXPORT zivorivizoSimTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
install(DIRECTORY sim/include/zivorivizo-sim DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT zivorivizoSimTargets NAMESPACE zivorivizo:: DESTINATION ${ZIVO_CMAKE_DIR})
configure_file(cmake/zivorivizo-sim.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zivorivizo-sim.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zivorivizo-sim.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
