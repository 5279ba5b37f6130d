# An installed copy is found with find_package(vkdiag) and linked as vkdiag::vkdiag.
include(CMakePackageConfigHelpers)

set(VK_INSTALL_TARGETS vkdiag)
if(TARGET vkdiag_platform)
  list(APPEND VK_INSTALL_TARGETS vkdiag_platform)
endif()

install(TARGETS ${VK_INSTALL_TARGETS} EXPORT vkdiagTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The operator's tool goes with the library.
if(TARGET vkdiag_tool)
  install(TARGETS vkdiag_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(DIRECTORY include/vk DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT vkdiagTargets NAMESPACE vkdiag:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vkdiag)

configure_package_config_file(cmake/vkdiagConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/vkdiagConfig.cmake
                              INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vkdiag)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vkdiagConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vkdiagConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/vkdiagConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vkdiag)
