# falatro_editor: the spoken line editor, the key echo and the opening of links and files. It runs the
# screen review from the field, so it sits above the screen reader (falatro_reader, src/console).
if(NOT TARGET falatro_reader)
  add_library(falatro_reader STATIC ${CMAKE_SOURCE_DIR}/src/console/screen_reader.cpp)
  target_include_directories(falatro_reader PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(falatro_reader PUBLIC falatro_speech falatro_console)
endif()
add_library(falatro_editor STATIC ${CMAKE_SOURCE_DIR}/src/speech/line_editor.cpp
                                  ${CMAKE_SOURCE_DIR}/src/speech/open_link.cpp)
target_include_directories(falatro_editor PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(falatro_editor PUBLIC falatro_reader falatro_speech falatro_console falatro_base)
