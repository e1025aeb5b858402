# install.cmake - what `cmake --install` puts under the prefix:
#   include/keel/          generics.h, util.h, keel_version.h
#   lib/                   libkeel.so* (or the import library libkeel.dll.a), libkeel_static.a
#   bin/                   keel (the command, when KEEL_CLI is on); keel.dll (Windows)
#   lib/cmake/keel/        the CMake package: keel::keel, keel::keel_static
#   lib/pkgconfig/         keel.pc, keel-static.pc
#   share/doc/keel/        README.md, CHANGELOG.md, LICENSE
# (lib/ stands for CMAKE_INSTALL_LIBDIR.)  The installed files find each
# other by relative paths, so the tree may be moved after installation.
include(CMakePackageConfigHelpers)

set(KEEL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/keel)

install(TARGETS keel keel_static EXPORT keelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(KEEL_CLI)
  install(TARGETS keel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES
  ${PROJECT_SOURCE_DIR}/generics/generics.h
  ${PROJECT_SOURCE_DIR}/util/util.h
  ${PROJECT_BINARY_DIR}/include/keel_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/keel)

install(EXPORT keelTargets NAMESPACE keel:: DESTINATION ${KEEL_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/keelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/keelConfig.cmake INSTALL_DESTINATION ${KEEL_INSTALL_CMAKEDIR})
# Before 1.0 only the same minor version promises the same API.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/keelConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/keelConfig.cmake ${PROJECT_BINARY_DIR}/keelConfigVersion.cmake
  DESTINATION ${KEEL_INSTALL_CMAKEDIR})

# pkg-config: the prefix is found from the .pc file's own folder, so that
# `cmake --install --prefix` to any folder gives working files.
# (Any absolute stand-in for the prefix gives the same relative path.)
file(RELATIVE_PATH KEEL_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" KEEL_PC_PREFIX_FROM_PCDIR "${KEEL_PC_PREFIX_FROM_PCDIR}")
foreach(kind INCLUDEDIR LIBDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(KEEL_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(KEEL_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
string(APPEND KEEL_PC_INCLUDEDIR /keel)
set(KEEL_PC_SYSTEM_LIBS "${CMAKE_THREAD_LIBS_INIT}")
foreach(lib IN LISTS KEEL_SYSTEM_LIBS)
  string(APPEND KEEL_PC_SYSTEM_LIBS " -l${lib}")
endforeach()
string(STRIP "${KEEL_PC_SYSTEM_LIBS}" KEEL_PC_SYSTEM_LIBS)
configure_file(${PROJECT_SOURCE_DIR}/cmake/keel.pc.in ${PROJECT_BINARY_DIR}/keel.pc @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/keel-static.pc.in ${PROJECT_BINARY_DIR}/keel-static.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/keel.pc ${PROJECT_BINARY_DIR}/keel-static.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
