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
install(FILES docs/velmarconfig.xml docs/velmarconfig.dtd
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zivorivizo/examples)

set(ZIVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zivorivizo)
install(EXPORT zivorivizoTargets NAMESPACE zivorivizo:: DESTINATION ${ZIVO_CMAKE_DIR})
configure_package_config_file(cmake/zivorivizoConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/zivorivizoConfig.cmake INSTALL_DESTINATION ${ZIVO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/zivorivizoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zivorivizoConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/zivorivizoConfigVersion.cmake DESTINATION ${ZIVO_CMAKE_DIR})

configure_file(cmake/zivorivizo.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zivorivizo.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zivorivizo.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The policy daemon's unit file, pointing at the installed zivo, and the man
# page of every zivo command.
configure_file(dist/zivo-run.service.in ${CMAKE_CURRENT_BINARY_DIR}/zivo-run.service @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zivo-run.service DESTINATION lib/systemd/system)
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
