# sonovar_install_program(TARGET COMPONENT): installs a program to bin/.
# Programs find the library through the run path $ORIGIN/../lib, so that an
# installation under any prefix works without ldconfig. Installed under a
# prefix whose library folder the system searches anyway (/usr, and so the
# Debian packages), they get no run path: it would only override the
# system's search, and Debian forbids it.
set(sonovar_system_library_dirs ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_C_IMPLICIT_LINK_DIRECTORIES})
list(REMOVE_DUPLICATES sonovar_system_library_dirs)

# sonovar_build_run_path(TARGET): the build tree's run path of an installed
# target, the build's library folder. CMake would rewrite its own in place
# on installing, and pads the one it links with for that with empty
# entries, at least one: the loader reads an empty entry as the working
# folder, so a library planted wherever the program is started would be
# loaded. The path is given to the linker here instead, repeated until it
# is as long as the installed one, and the install rewrites it.
function(sonovar_build_run_path target)
  set(folder "${PROJECT_BINARY_DIR}/quorelctl")
  set(path "${folder}")
  string(LENGTH "${CMAKE_INSTALL_RPATH}" wanted)
  string(LENGTH "${path}" length)
  while(length LESS wanted)
    string(APPEND path ":${folder}")
    string(LENGTH "${path}" length)
  endwhile()
  set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "")
  if(NOT WIN32 AND NOT APPLE)
    target_link_options(${target} PRIVATE "LINKER:-rpath,${path}")
  endif()
  set(sonovar_build_run_path "${path}" PARENT_SCOPE)
endfunction()

function(sonovar_install_program target component)
  sonovar_build_run_path(${target})
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
    set(file \"\$ENV{DESTDIR}${BINDIR}/$<TARGET_FILE_NAME:${target}>\")
    if(system GREATER -1)
      file(RPATH_REMOVE FILE \"\${file}\")
    else()
      file(RPATH_CHANGE FILE \"\${file}\" OLD_RPATH \"${sonovar_build_run_path}\" NEW_RPATH \"${CMAKE_INSTALL_RPATH}\")
    endif()
  " COMPONENT ${component})
endfunction()
