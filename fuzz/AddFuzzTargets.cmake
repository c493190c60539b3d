# Given to the project's configure as CMAKE_PROJECT_Thudra_INCLUDE by
# scripts/fuzz.sh: once the whole project is read, the fuzz targets are
# added on top of it, so the ordinary build never sees them.
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR}
               CALL include ${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt)
