# The REGEDIT4 file format and norvane-reg, the store's command-line companion.
add_library(norvane_regfile STATIC
  ${CMAKE_CURRENT_LIST_DIR}/RegFile.h
  ${CMAKE_CURRENT_LIST_DIR}/RegFile.cpp
)
target_include_directories(norvane_regfile PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(norvane_regfile PUBLIC norvane_settings)

add_executable(norvane-reg ${CMAKE_CURRENT_LIST_DIR}/norvane_reg.cpp)
target_link_libraries(norvane-reg PRIVATE norvane_regfile)
target_compile_definitions(norvane-reg PRIVATE NORVANE_VERSION="${PROJECT_VERSION}")
