# Runs at install time, after the executables are in place (the variables it
# reads are set by packaging/CMakeLists.txt). file(INSTALL) adds DESTDIR and
# records each file in the manifest that `make uninstall` reads.
set(TASKORY_USER_UNIT_DIR "${CMAKE_INSTALL_PREFIX}/share/systemd/user")
file(MAKE_DIRECTORY "${TASKORY_STAGE_DIR}")

# Debian wants manual pages and changelogs compressed to the maximum, without
# a time stamp (-n) so the package does not change from build to build.
function(taskory_gzip source target)
  execute_process(COMMAND gzip -9nc "${source}" OUTPUT_FILE "${target}"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${source}: ${status}")
  endif()
endfunction()

foreach(page taskory_mcp.1 taskory_mcp_http.1)
  configure_file("${TASKORY_SOURCE_DIR}/man/${page}.in"
                 "${TASKORY_STAGE_DIR}/${page}" @ONLY)
  taskory_gzip("${TASKORY_STAGE_DIR}/${page}" "${TASKORY_STAGE_DIR}/${page}.gz")
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/man/man1"
       TYPE FILE FILES "${TASKORY_STAGE_DIR}/${page}.gz")
endforeach()

# share/systemd/user rather than lib/: systemd's user manager searches it
# under /usr, /usr/local and ~/.local alike (the data directories), so the
# unit is found whichever prefix it was installed to.
configure_file("${TASKORY_SOURCE_DIR}/packaging/taskory-mcp-http.service.in"
               "${TASKORY_STAGE_DIR}/taskory-mcp-http.service" @ONLY)
file(INSTALL DESTINATION "${TASKORY_USER_UNIT_DIR}"
     TYPE FILE FILES "${TASKORY_STAGE_DIR}/taskory-mcp-http.service")

taskory_gzip("${TASKORY_CHANGELOG}" "${TASKORY_STAGE_DIR}/changelog.gz")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/doc/taskory-mcp"
     TYPE FILE FILES "${TASKORY_SOURCE_DIR}/packaging/copyright"
                     "${TASKORY_STAGE_DIR}/changelog.gz")

# Stripping leaves the compilers' version strings (.comment, one per object
# linked in); a stripped install drops them too.
if(CMAKE_INSTALL_DO_STRIP AND TASKORY_OBJCOPY)
  foreach(exe taskory_mcp taskory_mcp_http)
    set(file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin/${exe}")
    if(EXISTS "${file}")
      execute_process(COMMAND "${TASKORY_OBJCOPY}" --remove-section=.comment
                              "${file}" RESULT_VARIABLE status)
      if(NOT status EQUAL 0)
        message(FATAL_ERROR "objcopy ${file}: ${status}")
      endif()
    endif()
  endforeach()
endif()
