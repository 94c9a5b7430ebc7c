# `cmake --install`: the three libraries with their versions, the public
# headers, the two programs and their man pages, pkg-config files and a CMake
# package (find_package(Varnel): Varnel::comrt, Varnel::varnel,
# Varnel::host). Installing registers nothing: a host registers libvarnel.so
# with comrt-regsvr, or loads it by path.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Consumers of the installed tree find the headers under the include folder.
foreach(library comrt varnel varnel_host)
  target_include_directories(${library} INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endforeach()
target_include_directories(varnel INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
target_link_libraries(varnel INTERFACE comrt)
set_target_properties(varnel_host PROPERTIES EXPORT_NAME host)

install(TARGETS comrt varnel varnel_host EXPORT VarnelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(TARGETS comrt-regsvr varnel-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/comrt ${PROJECT_SOURCE_DIR}/include/varnel
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

install(FILES ${PROJECT_SOURCE_DIR}/tools/regsvr/comrt-regsvr.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
if(TARGET varnel-man)
  install(FILES ${PROJECT_BINARY_DIR}/tools/varnel/varnel.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()

# pkg-config: comrt, varnel (the component's headers over comrt) and
# varnel-host (the kit). The files find the prefix from where they lie, so a
# tree installed with `cmake --install --prefix` anywhere works as it stands.
file(RELATIVE_PATH PKGCONFIG_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig" "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" PKGCONFIG_TO_PREFIX "${PKGCONFIG_TO_PREFIX}")
foreach(module comrt varnel varnel-host)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${module}.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/${module}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/${module}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
endforeach()

set(VARNEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Varnel)
install(EXPORT VarnelTargets NAMESPACE Varnel:: DESTINATION ${VARNEL_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VarnelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VarnelConfig.cmake INSTALL_DESTINATION ${VARNEL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VarnelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VarnelConfig.cmake ${PROJECT_BINARY_DIR}/VarnelConfigVersion.cmake
  DESTINATION ${VARNEL_CMAKE_DIR} COMPONENT development)
