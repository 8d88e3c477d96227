# Writes and installs quorelctl.pc, run at install time, when the prefix is
# known. Given: PC_IN, PC_OUT, QUORELCTL_VERSION, LIBDIR, INCLUDEDIR (each
# relative to the prefix or absolute). pkg-config reads a blank as the end
# of a value: blanks in paths are escaped.
function(pc_path path out)
  string(REPLACE " " "\\ " path "${path}")
  set(${out} "${path}" PARENT_SCOPE)
endfunction()
pc_path("${CMAKE_INSTALL_PREFIX}" pc_prefix)
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${${dir}}")
    pc_path("${${dir}}" pc_${dir})
  else()
    set(pc_${dir} "\${prefix}/${${dir}}")
  endif()
endforeach()
configure_file("${PC_IN}" "${PC_OUT}" @ONLY)
if(IS_ABSOLUTE "${LIBDIR}")
  file(INSTALL "${PC_OUT}" DESTINATION "${LIBDIR}/pkgconfig")
else()
  file(INSTALL "${PC_OUT}" DESTINATION "${CMAKE_INSTALL_PREFIX}/${LIBDIR}/pkgconfig")
endif()
