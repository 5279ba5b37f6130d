# An installed copy is found with find_package(vkdiag) and linked as
# vkdiag::vkdiag (on Linux the shared library; vkdiag::vkdiag_static links
# the static one), or with pkg-config as vkdiag.
include(CMakePackageConfigHelpers)

if(WIN32)
  install(TARGETS vkdiag EXPORT vkdiagTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
else()
  # The shared library holds the objects of both static libraries, so they
  # are built position-independent.
  set_target_properties(vkdiag vkdiag_platform PROPERTIES POSITION_INDEPENDENT_CODE ON)
  find_package(Threads REQUIRED)
  find_package(SQLite3 REQUIRED)
  file(WRITE ${PROJECT_BINARY_DIR}/vkdiag_shared.cpp "// The objects come from the static libraries.\n")
  add_library(vkdiag_shared SHARED ${PROJECT_BINARY_DIR}/vkdiag_shared.cpp)
  add_dependencies(vkdiag_shared vkdiag vkdiag_platform)
  target_link_libraries(vkdiag_shared PRIVATE
    -Wl,--whole-archive $<TARGET_FILE:vkdiag> $<TARGET_FILE:vkdiag_platform> -Wl,--no-whole-archive
    SQLite::SQLite3 Threads::Threads ${CMAKE_DL_LIBS})
  # A sanitized build leaves the sanitizer's runtime to the executable
  # (clang links it there only), so only other builds ask for every symbol.
  if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    target_link_options(vkdiag_shared PRIVATE -Wl,--no-undefined)
  endif()
  target_include_directories(vkdiag_shared PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(vkdiag_shared PROPERTIES
    OUTPUT_NAME vkdiag EXPORT_NAME vkdiag VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  vk_set_warnings(vkdiag_shared)
  set_target_properties(vkdiag PROPERTIES EXPORT_NAME vkdiag_static)
  install(TARGETS vkdiag_shared EXPORT vkdiagTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Unspecified
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(TARGETS vkdiag vkdiag_platform EXPORT vkdiagStaticTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT vkdiagStaticTargets NAMESPACE vkdiag:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vkdiag)
  # vkdiag links the shared library; vkdiag-static the archives by path,
  # since -lvkdiag picks the shared one wherever both are installed.
  configure_file(cmake/vkdiag.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vkdiag.pc @ONLY)
  configure_file(cmake/vkdiag-static.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vkdiag-static.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vkdiag.pc ${CMAKE_CURRENT_BINARY_DIR}/vkdiag-static.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

  # The manual page and, as Debian places them, the licence and the
  # changelog, compressed without a time stamp so that builds are alike.
  configure_file(cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  set(VK_DOC_OUTPUTS)
  foreach(source ${PROJECT_SOURCE_DIR}/docs/vkdiag.1 ${PROJECT_BINARY_DIR}/changelog)
    get_filename_component(name ${source} NAME)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${name}.gz
                       COMMAND sh -c "gzip -9 -n -c \"$1\" > \"$2\"" gzip ${source} ${PROJECT_BINARY_DIR}/${name}.gz
                       DEPENDS ${source} VERBATIM)
    list(APPEND VK_DOC_OUTPUTS ${PROJECT_BINARY_DIR}/${name}.gz)
  endforeach()
  add_custom_target(vk_compressed_docs ALL DEPENDS ${VK_DOC_OUTPUTS})
  if(TARGET vkdiag_tool)
    install(FILES ${PROJECT_BINARY_DIR}/vkdiag.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # rsyslog configurations for a fleet, for the administrator to copy; not
  # enabled by installing them.
  install(FILES ${VK_RSYSLOG_EXAMPLES_DIR}/vkdiag-forward.conf ${VK_RSYSLOG_EXAMPLES_DIR}/vkdiag-collector.conf
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
endif()
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
