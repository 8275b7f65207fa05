# The release form the program shows and the service announces: major, ".", then the minor and patch
# parts written one after the other ("2.0.0.1" gives "2.00", "2.0.10.0" gives "2.010").
set(TALLYHIVE_VERSION "${PROJECT_VERSION}")
set(TALLYHIVE_RELEASE_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}${PROJECT_VERSION_PATCH}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${PROJECT_BINARY_DIR}/generated/tallyhive_version.h @ONLY)
