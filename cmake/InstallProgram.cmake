# sonovar_install_program(TARGET COMPONENT): installs a program to bin/.
# Programs find the library through the run path $ORIGIN/../lib, so that an
# installation under any prefix works without ldconfig. Installed under a
# prefix whose library folder the system searches anyway (/usr, and so the
# Debian packages), they get no run path: it would only override the
# system's search, and Debian forbids it.
set(sonovar_system_library_dirs ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_C_IMPLICIT_LINK_DIRECTORIES})
list(REMOVE_DUPLICATES sonovar_system_library_dirs)

function(sonovar_install_program target component)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  if(WIN32 OR APPLE)
    return()
  endif()
  foreach(dir LIBDIR BINDIR)
    set(${dir} "${CMAKE_INSTALL_${dir}}")
    if(NOT IS_ABSOLUTE "${${dir}}")
      set(${dir} "\${CMAKE_INSTALL_PREFIX}/${${dir}}")
    endif()
  endforeach()
  install(CODE "
    # Install scripts run without this project's policies: no IN_LIST.
    set(system_library_dirs \"${sonovar_system_library_dirs}\")
    cmake_path(SET library_dir NORMALIZE \"${LIBDIR}\")
    string(REGEX REPLACE \"(.)/$\" \"\\\\1\" library_dir \"\${library_dir}\")
    list(FIND system_library_dirs \"\${library_dir}\" system)
    if(system GREATER -1)
      file(RPATH_REMOVE FILE \"\$ENV{DESTDIR}${BINDIR}/$<TARGET_FILE_NAME:${target}>\")
    endif()
  " COMPONENT ${component})
endfunction()
