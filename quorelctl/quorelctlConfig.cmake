# find_package(quorelctl CONFIG): the imported target quorelctl::quorelctl,
# with the headers' folder, linking the shared library.
include(${CMAKE_CURRENT_LIST_DIR}/quorelctlTargets.cmake)
