# background: draws the tagging screen's background picture (bitmap 132)
# with the painting layer. The picture is committed as res/background_132.bmp;
# remake it with `cmake --build build --target background_bmp`.
add_executable(background ${CMAKE_CURRENT_LIST_DIR}/background_main.cpp)
target_link_libraries(background PRIVATE vt_platform)
add_custom_target(background_bmp
  COMMAND background ${CMAKE_SOURCE_DIR}/res/background_132.bmp
  COMMENT "Drawing res/background_132.bmp"
  VERBATIM)
