# photogen: camera-like JPEG photos with an EXIF block of our own, for the
# demo, the end-to-end tests and the benchmarks.
find_package(JPEG REQUIRED)
add_library(vt_photogen STATIC
  ${CMAKE_CURRENT_LIST_DIR}/camera_photo.cpp
  ${CMAKE_CURRENT_LIST_DIR}/exif_block.cpp
  ${CMAKE_CURRENT_LIST_DIR}/nmea_fixes.cpp)
vt_include_root(vt_photogen tools/photogen)
target_include_directories(vt_photogen PUBLIC ${vt_root})
# The layer's byte-order header, which needs no library.
target_include_directories(vt_photogen PRIVATE ${CMAKE_BINARY_DIR}/include-roots/vt_platform)
target_link_libraries(vt_photogen PUBLIC JPEG::JPEG)

add_executable(photogen ${CMAKE_CURRENT_LIST_DIR}/photogen_main.cpp)
target_link_libraries(photogen PRIVATE vt_photogen)

# The screen's tests and benchmark make their photos with it too; they are
# defined elsewhere, so they are linked once every folder has been read.
function(vt_link_photogen)
  foreach(t ui_tests ui_bench)
    if(TARGET ${t})
      target_link_libraries(${t} PRIVATE vt_photogen)
      add_dependencies(${t} photogen)
    endif()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL vt_link_photogen)
