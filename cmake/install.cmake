# Install and export rules: the core as a CMake package (headers, static library,
# varnokConfig.cmake) in the "core" component, the extension module in "python".
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VARNOK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/varnok CACHE STRING
  "Where varnokConfig.cmake is installed, relative to the prefix")

# Consumers include <varnok/varnok.hpp>; only the public headers (core/include) are
# installed, the library's own headers stay in the source tree.
target_include_directories(varnok_core PUBLIC $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(varnok_core PROPERTIES EXPORT_NAME core)

install(TARGETS varnok_core EXPORT varnokTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT core)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/core/include/varnok
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT core)
install(EXPORT varnokTargets NAMESPACE varnok::
  DESTINATION ${VARNOK_INSTALL_CMAKEDIR} COMPONENT core)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/varnokConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/varnokConfig.cmake
  INSTALL_DESTINATION ${VARNOK_INSTALL_CMAKEDIR})
# 0.x releases may break the interface at every minor version.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/varnokConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/varnokConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/varnokConfigVersion.cmake
  DESTINATION ${VARNOK_INSTALL_CMAKEDIR} COMPONENT core)

# The module goes into the wheel's root only; scikit-build-core installs the
# "python" component into site-packages.
if(VARNOK_BUILD_PYTHON AND SKBUILD)
  install(TARGETS varnok_py LIBRARY DESTINATION . COMPONENT python)
endif()
